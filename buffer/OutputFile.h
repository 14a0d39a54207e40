#pragma once
// A file written through a large block buffer that replaces its target only
// when complete (SafeFile): an interrupted or failed save leaves the old file
// (or none), never half of the new one.
#include "core/SafeSave.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vantor {

class OutputFile {
public:
    OutputFile();
    ~OutputFile(); // discards an uncommitted file
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts the new file; false when it cannot be created (failure() says
    // why). The old file is never written in place.
    bool Create(const std::string& path);
    SafeFile::Failure failure() const { return file_.failure(); }

    // Room for `n` bytes (n <= BlockSize) at the end of the pending block;
    // commit them with Advance.
    char* Reserve(size_t n) {
        if (static_cast<size_t>(blockEnd_ - fill_) < n)
            Flush();
        return fill_;
    }
    void Advance(size_t n) { fill_ += n; }
    void Append(const void* data, size_t n);

    // Writes what is pending, syncs and puts the file in place. False when
    // anything failed on the way; the target is then left as it was.
    bool Commit();
    // Drops the new file; the target stays as it was.
    void Discard();

    static constexpr size_t BlockSize = 1 << 20;

private:
    void Flush();

    std::unique_ptr<char[]> block_;
    char* fill_ = nullptr;
    char* blockEnd_ = nullptr;
    SafeFile file_;
};

// Whether `path` names the standard output: "-", a name of descriptor 1
// (/dev/stdout, /dev/fd/1) or the very file descriptor 1 is open on. Such
// a target gets the image alone; every word goes to stderr instead.
bool IsStandardOutput(const std::string& path);

} // namespace vantor
