#pragma once
// A file written through a large block buffer that replaces its target only
// when complete: the bytes go to a temporary file beside the target, which is
// renamed over it on Commit. An interrupted or failed save leaves the old
// file (or none), never half of the new one.
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

    // Starts the new file; false when it cannot be created. When no temporary
    // file can be made beside the target (a folder we may not write to) but
    // the target itself is writable, it is written in place instead.
    bool Create(const std::string& path);

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
    bool WriteAll(const char* data, size_t n);

    std::unique_ptr<char[]> block_;
    char* fill_ = nullptr;
    char* blockEnd_ = nullptr;
    int fd_ = -1;
    bool failed_ = false;
    bool inPlace_ = false;
    std::string target_;
    std::string temp_;
};

} // namespace vantor
