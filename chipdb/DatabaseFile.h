#pragma once
// The chip database file beside the executable: a headerless array of
// 68-byte records, followed by a terminator slot when the editor wrote it.
#include "chipdb/ChipRecord.h"

#include <cstddef>
#include <functional>
#include <string>

namespace vantor {

// The running executable's full path (from /proc/self/exe); empty when the
// system does not tell.
std::string CurrentExecutablePath();

// `executablePath` with its extension replaced by ".Dat" (".Dat" appended
// when the file name has none): /opt/vantor/vantor -> /opt/vantor/vantor.Dat.
std::string DatabasePath(const std::string& executablePath);

enum class DatabaseLoadResult {
    Loaded,     // the file's records are in the slots
    Missing,    // no file there: nothing changed, nothing shown
    BadSize,    // size not a multiple of 68: refused with a message
    CannotOpen, // exists but cannot be read: "Cannot open file %s"
};

// The main window's load. Copies the file at `path` into `db` from slot 0
// (slots past the end of the file keep their content) and then selects the
// remembered chip by calling `selectChip(selType, selMaker, selName)`.
// A size that is not a multiple of 68 is refused with message 8 in the
// current language. A file of more than 1000 records loads its first 1000
// and says so. `selectChip` is called only after a successful load.
DatabaseLoadResult LoadChipDatabase(ChipDatabase& db, const std::string& path,
                                    const std::function<void(int, int, int)>& selectChip,
                                    int selType, int selMaker, int selName);

// The chip editor's load: the same without selection, and the refusal of a
// bad size always reads "配置文件被破坏！".
DatabaseLoadResult LoadDatabaseFile(ChipDatabase& db, const std::string& path);

// Writes `length` bytes from `bytes` to `path`, replacing the file
// atomically (temporary file in the same folder, flushed to disk, renamed
// over the old one), so a failure leaves the old file whole. An existing
// file's permissions are kept; a read-only one is refused, a link's file is
// replaced and the link kept. On failure shows "Cannot create file %s" and
// returns false.
bool WriteDatabaseFile(const std::string& path, const void* bytes, std::size_t length);

// Convenience for the editor: writes the first `slotCount` slots of `db`.
bool WriteDatabaseFile(const std::string& path, const ChipDatabase& db, int slotCount);

// The texts these functions show.
std::string CannotOpenFileText(const std::string& path);
std::string CannotCreateFileText(const std::string& path);
std::string TooManyRecordsText(const std::string& path);
inline constexpr const char* kEditorDatabaseBrokenText = "配置文件被破坏！";

} // namespace vantor
