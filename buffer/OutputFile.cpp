#include "buffer/OutputFile.h"

#include <cstring>
#include <sys/stat.h>

namespace vantor {

OutputFile::OutputFile() = default;

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create(const std::string& path) {
    Discard();
    if (!file_.Open(path))
        return false;
    if (!block_)
        block_ = std::make_unique<char[]>(BlockSize);
    fill_ = block_.get();
    blockEnd_ = fill_ + BlockSize;
    return true;
}

void OutputFile::Flush() {
    const size_t pending = static_cast<size_t>(fill_ - block_.get());
    if (pending > 0)
        file_.Write(block_.get(), pending);
    fill_ = block_.get();
}

void OutputFile::Append(const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    if (n >= BlockSize) {
        // Large runs go straight to the file instead of through the block.
        Flush();
        file_.Write(p, n);
        return;
    }
    while (n > 0) {
        const size_t room = static_cast<size_t>(blockEnd_ - fill_);
        if (room == 0) {
            Flush();
            continue;
        }
        const size_t take = n < room ? n : room;
        std::memcpy(fill_, p, take);
        fill_ += take;
        p += take;
        n -= take;
    }
}

bool OutputFile::Commit() {
    if (!file_.isOpen())
        return false;
    Flush();
    // Not durable: the rename already keeps an interrupted program or a
    // failed write from leaving half a file, and waiting for the disk would
    // double the time of a chip-sized save. close() still reports late
    // write errors.
    return file_.Commit(false);
}

void OutputFile::Discard() {
    file_.Discard();
    if (block_)
        fill_ = block_.get();
}

bool IsStandardOutput(const std::string& path) {
    if (path == "-" || NamedDescriptor(path) == 1)
        return true;
    struct stat out {};
    struct stat named {};
    return ::fstat(1, &out) == 0 && ::stat(path.c_str(), &named) == 0 &&
           out.st_dev == named.st_dev && out.st_ino == named.st_ino;
}

} // namespace vantor
