#pragma once
// Opening and saving data files: the format chosen by the dialog's filter,
// the command line or the file name's extension, the base address of text
// files, the size limits, and the Open and Save commands of the main window
// without its widgets: the window hands in what only it can do as callbacks.
#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"

#include <cstdint>
#include <functional>
#include <optional>
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

// How the records of a text file are placed in the buffer when some lie
// outside it: only from the given base (refused otherwise), from the lowest
// address rounded down to 64 KiB, or from that base once the user agrees.
enum class BaseChoice { Given, Auto, Ask };

struct LoadRequest {
    std::optional<DataFileFormat> format; // else the name's
    BaseChoice baseChoice = BaseChoice::Given;
    uint64_t base = 0; // subtracted from every record address
};

struct SaveRequest {
    std::optional<DataFileFormat> format; // else the name's
    uint64_t base = 0;                    // the address of the first byte
    // A FIFO nobody reads is refused at once instead of waited on.
    bool refuseUnreadFifo = false;
};

// The base `--base auto` and the window's question offer for data from
// `lowest` on: the 64 KiB boundary at or below it.
uint64_t RoundedBase(uint64_t lowest);

// Loads `fileName` into `target` (bufferSize bytes) from offset 0. Returns
// the bytes read (raw, capsule) or the highest address written plus one
// less the base (Intel HEX, S-record), 0 after any failure. Reports its own
// failures and warnings. `baseUsed`, when given, gets the base the records
// were placed from.
int32_t LoadDataFile(const std::string& fileName, uint8_t* target, uint32_t bufferSize,
                     const LoadRequest& request = {}, uint64_t* baseUsed = nullptr);

// Writes `count` bytes of `data` in the format the request or the name
// selects, after asking (message 9) when the file exists. The file is
// replaced whole or not at all. Reports its own failures; true when the
// file was written.
bool SaveDataFile(const std::string& fileName, const uint8_t* data, uint32_t count,
                  const SaveRequest& request = {});

// Clears the whole buffer to 0xFF, loads the file and sets UsedLength (and
// LoadBase) from the loader's result, which is also returned.
int32_t LoadIntoDataBuffer(DataBuffer& buffer, const std::string& fileName,
                           const LoadRequest& request = {});

// What the Open and Save commands need from the main window. Empty
// callbacks are skipped.
struct DataFileHooks {
    std::function<void()> RefreshHexView;            // buffer -> hex pane
    std::function<void()> SyncBufferFromEditor;      // hex pane edits -> buffer
    std::function<void(const std::string&)> LogLine; // numbered line at the top of the log
};

// The Open command: open dialog (through the prompts seam), then
// LoadIntoDataBuffer in the format of the filter chosen, asking for a base
// when the data lies outside the buffer, RefreshHexView and the log line
// "Open" + path, the last two whether or not the load succeeded. False when
// the dialog was cancelled.
bool OpenDataFileCommand(DataBuffer& buffer, const DataFileHooks& hooks);

// The Save command: save dialog, SyncBufferFromEditor, then SaveDataFile of
// the chip's whole capacity (never more than the buffer holds) in the
// filter's format, from the base the buffer was loaded at. A name without
// extension gets the filter's ("All files": none, raw). False when the
// dialog was cancelled or nothing was written.
bool SaveDataFileCommand(DataBuffer& buffer, uint32_t flashSize, const DataFileHooks& hooks);

} // namespace vantor
