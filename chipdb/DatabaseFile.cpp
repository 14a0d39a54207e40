#include "chipdb/DatabaseFile.h"

#include "core/FilePlaces.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "core/SafeSave.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantor {
namespace {

// Closes a descriptor on every path out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

bool ReadFully(int fd, std::uint8_t* out, std::size_t length) {
    while (length > 0) {
        ssize_t n = ::read(fd, out, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

// Shared by both loads; `brokenText` is what a bad size shows.
DatabaseLoadResult ReadDatabase(ChipDatabase& db, const std::string& path,
                                const std::string& brokenText) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT)
        return DatabaseLoadResult::Missing;

    // A FIFO or a device is refused at once, never waited on.
    Fd fd(OpenRegularForReading(path));
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0) {
        CurrentPrompts().showError(CannotOpenFileText(path));
        return DatabaseLoadResult::CannotOpen;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size % kChipRecordSize != 0) {
        CurrentPrompts().showInformation(brokenText);
        return DatabaseLoadResult::BadSize;
    }
    // Only what fits the slots is read; the rest of an oversized file is
    // never touched.
    const std::size_t wanted = std::min(size, kDatabaseMaxBytes);
    std::vector<std::uint8_t> bytes(wanted);
    if (!ReadFully(fd.get(), bytes.data(), wanted)) {
        CurrentPrompts().showError(CannotOpenFileText(path));
        return DatabaseLoadResult::CannotOpen;
    }
    db.LoadImage(bytes.data(), bytes.size());
    if (size > kDatabaseMaxBytes)
        CurrentPrompts().showInformation(TooManyRecordsText(path));
    return DatabaseLoadResult::Loaded;
}

} // namespace

std::string CannotOpenFileText(const std::string& path) {
    return "Cannot open file " + path;
}

std::string CannotCreateFileText(const std::string& path) {
    return "Cannot create file " + path;
}

std::string TooManyRecordsText(const std::string& path) {
    return FormatMessage(Own::TooManyRecords, {path, std::to_string(kChipSlots)});
}

std::string CurrentExecutablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return {};
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

std::string DatabasePath(const std::string& executablePath) {
    return BesideExecutable(executablePath, ".Dat");
}

DatabaseLoadResult LoadChipDatabase(ChipDatabase& db, const std::string& path,
                                    const std::function<void(int, int, int)>& selectChip,
                                    int selType, int selMaker, int selName) {
    auto result = ReadDatabase(db, path, Message(Msg::ConfigDestroyed));
    if (result == DatabaseLoadResult::Loaded && selectChip)
        selectChip(selType, selMaker, selName);
    return result;
}

DatabaseLoadResult LoadDatabaseFile(ChipDatabase& db, const std::string& path) {
    return ReadDatabase(db, path, kEditorDatabaseBrokenText);
}

bool WriteDatabaseFile(const std::string& path, const void* bytes, std::size_t length) {
    if (!SaveWholeFile(path, bytes, length)) {
        CurrentPrompts().showError(CannotCreateFileText(path));
        return false;
    }
    return true;
}

bool WriteDatabaseFile(const std::string& path, const ChipDatabase& db, int slotCount) {
    std::string image = db.Image(slotCount);
    return WriteDatabaseFile(path, image.data(), image.size());
}

} // namespace vantor
