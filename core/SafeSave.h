#pragma once
// Saves that never destroy the old file, and reads that never wait.
//
// A regular target is replaced as a whole: the bytes go to a temporary file
// beside it, which is renamed over the target once complete. When that
// temporary file cannot be made (a read-only folder, a full disk) the save
// fails and the old file stays as it was; nothing is ever truncated in place.
// A read-only target is refused, not replaced. A symbolic link keeps being a
// link: the file it points to is replaced. A target that is not a regular
// file (a FIFO, a terminal, /dev/stdout) is written straight through, since
// replacing it by a file would break what the user pointed us at.
//
// The temporary name is short and fixed in length, so it fits wherever the
// target's own name fits, and it names the target by a hash and the saving
// process by its id: a SIGINT or SIGTERM that ends the program removes the
// temporary files of saves still running (a handler the program set for
// itself is called instead), and a later save of the same target removes
// the ones a killed process left behind.
#include <cstddef>
#include <string>

namespace vantor {

class SafeFile {
public:
    enum class Failure {
        None,
        ReadOnly,     // the target exists and we may not write it
        CannotCreate, // no temporary file (or stream) could be opened
        WriteFailed,  // a write, the flush or the rename failed
    };

    SafeFile() = default;
    ~SafeFile(); // discards what was not committed
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Starts replacing `path`. False, with failure() and error() set, when it
    // cannot be done; the target is then untouched.
    bool Open(const std::string& path);
    // Appends bytes; false once anything has failed.
    bool Write(const void* data, std::size_t n);
    // Puts the new file in place. With `durable`, the data and the rename
    // are flushed to disk first. False when anything failed; the target is
    // then as it was (a stream target keeps what was written to it).
    bool Commit(bool durable = true);
    // Drops the new file; the target stays as it was.
    void Discard();

    Failure failure() const { return failure_; }
    int error() const { return error_; } // errno of the failure
    bool isOpen() const { return fd_ >= 0; }
    // True when the target is not a regular file and is written directly.
    bool streaming() const { return streaming_; }
    // The temporary file of a save in progress (empty when streaming).
    const std::string& tempPath() const { return temp_; }

private:
    bool fail(Failure failure, int error);

    int fd_ = -1;
    int slot_ = -1; // our line in the list a signal handler cleans
    bool streaming_ = false;
    Failure failure_ = Failure::None;
    int error_ = 0;
    std::string target_;
    std::string temp_;
};

// Writes `size` bytes as the whole new content of `path` through SafeFile.
// On failure, `failure` and `error` (when given) say why.
bool SaveWholeFile(const std::string& path, const void* data, std::size_t size,
                   SafeFile::Failure* failure = nullptr, int* error = nullptr);

// The descriptor a name like /dev/stdout or /proc/self/fd/3 stands for, or
// -1: such a name is written to that descriptor, whatever it points at.
int NamedDescriptor(const std::string& path);

// Opens `path` for reading without ever waiting: a FIFO, a device or a
// folder is refused at once (-1 with errno EINVAL or EISDIR), as is a
// missing or unreadable file (errno from open). The descriptor is blocking
// again when returned.
int OpenRegularForReading(const std::string& path);

// The start of the temporary names SafeFile gives a save of `target` (a
// file name, no folder) made by process `pid`; a random tail follows it.
std::string TempNamePrefix(const std::string& targetName, long pid);

} // namespace vantor
