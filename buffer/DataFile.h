#pragma once
// Opening and saving data files: the format chosen by the file name's
// extension (and, for ".eep", by the file's first character), the size
// limits, and the Open and Save commands of the main window without its
// widgets: the window hands in what only it can do as callbacks.
#include "buffer/DataBuffer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vantor {

// Fixed texts that do not follow the language setting.
namespace filetext {
inline constexpr const char* CantOpenFile = "Can't open File";
inline constexpr const char* TooBigForBuffer = "File is too big for Buffer";
inline constexpr const char* CreateFileFailed = "创建文件失败";
} // namespace filetext

// BIOS capsules carry a header of this size before the image.
inline constexpr uint32_t CapsuleHeaderSize = 2048;

// File dialog filters, in the "Name (patterns);;Name (patterns)" form of
// Qt's file dialogs; the first entry is the one preselected. Open's first
// entry, every file we can read, is named in the current language.
std::string OpenFileFilter();
std::string SaveFileFilter();
// Appended to a name chosen in the save dialog that has no extension, when
// the chosen filter names no extension of its own.
inline constexpr const char* SaveDefaultExtension = "hex";
// The extension, with its dot, that a save through `filter` (one entry of
// SaveFileFilter) gives a name without one: the filter's first pattern, or
// SaveDefaultExtension for "All files" and unknown filters.
std::string ExtensionForSaveFilter(std::string_view filter);

enum class DataFileFormat { Raw, Capsule, IntelHex, SRecord };

// The extension of the file name itself (from its last "."), lower case,
// with the dot; empty when the name has none. Folder names do not count.
std::string FileExtension(std::string_view path);
// The format a save to `path` writes: ".hex" Intel HEX; ".src", ".s19",
// ".srec" and ".mot" S-record; anything else raw.
DataFileFormat SaveFormatFor(std::string_view path);

// Loads `fileName` into `target` (bufferSize bytes) from offset 0. Returns
// the bytes read (raw, capsule) or the highest address written plus one
// (Intel HEX, S-record), 0 after any failure. Reports its own failures.
int32_t LoadDataFile(const std::string& fileName, uint8_t* target, uint32_t bufferSize);

// Writes `count` bytes of `data` in the format the extension selects, after
// asking (message 9) when the file exists. The file is replaced whole or not
// at all. Reports its own failures; true when the file was written.
bool SaveDataFile(const std::string& fileName, const uint8_t* data, uint32_t count);

// Clears the whole buffer to 0xFF, loads the file and sets UsedLength to the
// loader's result, which is also returned.
int32_t LoadIntoDataBuffer(DataBuffer& buffer, const std::string& fileName);

// What the Open and Save commands need from the main window. Empty
// callbacks are skipped.
struct DataFileHooks {
    std::function<void()> RefreshHexView;            // buffer -> hex pane
    std::function<void()> SyncBufferFromEditor;      // hex pane edits -> buffer
    std::function<void(const std::string&)> LogLine; // numbered line at the top of the log
};

// The Open command: open dialog (through the prompts seam), then
// LoadIntoDataBuffer, RefreshHexView and the log line "Open" + path, the last
// two whether or not the load succeeded. False when the dialog was cancelled.
bool OpenDataFileCommand(DataBuffer& buffer, const DataFileHooks& hooks);

// The Save command: save dialog, SyncBufferFromEditor, then SaveDataFile of
// the chip's whole capacity (never more than the buffer holds). False when
// the dialog was cancelled or nothing was written.
bool SaveDataFileCommand(DataBuffer& buffer, uint32_t flashSize, const DataFileHooks& hooks);

} // namespace vantor
