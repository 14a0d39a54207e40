#include "buffer/OutputFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {
namespace {

// Mode a newly created file gets: what open(2) with 0666 would give.
mode_t NewFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

OutputFile::OutputFile() = default;

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create(const std::string& path) {
    Discard();
    if (path.empty())
        return false;
    target_ = path;
    // Saving through a symbolic link replaces the file it points to, not the link.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved))
            target_ = resolved;
    }
    mode_t mode = NewFileMode();
    bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return false;
        mode = st.st_mode & 07777;
    }

    size_t slash = target_.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty())
        return false;
    if (dir == ".")
        dir = "./";
    temp_ = dir + "." + base + ".XXXXXX";
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ >= 0) {
        ::fchmod(fd_, mode);
        inPlace_ = false;
    } else {
        temp_.clear();
        if (!exists)
            return false;
        fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0)
            return false;
        inPlace_ = true;
    }
    if (!block_)
        block_ = std::make_unique<char[]>(BlockSize);
    fill_ = block_.get();
    blockEnd_ = fill_ + BlockSize;
    failed_ = false;
    return true;
}

bool OutputFile::WriteAll(const char* data, size_t n) {
    while (n > 0) {
        ssize_t done = ::write(fd_, data, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

void OutputFile::Flush() {
    size_t pending = static_cast<size_t>(fill_ - block_.get());
    if (pending > 0 && !failed_ && fd_ >= 0)
        failed_ = !WriteAll(block_.get(), pending);
    fill_ = block_.get();
}

void OutputFile::Append(const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    if (n >= BlockSize) {
        // Large runs go straight to the file instead of through the block.
        Flush();
        if (!failed_ && fd_ >= 0)
            failed_ = !WriteAll(p, n);
        return;
    }
    while (n > 0) {
        size_t room = static_cast<size_t>(blockEnd_ - fill_);
        if (room == 0) {
            Flush();
            continue;
        }
        size_t take = n < room ? n : room;
        std::memcpy(fill_, p, take);
        fill_ += take;
        p += take;
        n -= take;
    }
}

bool OutputFile::Commit() {
    if (fd_ < 0)
        return false;
    Flush();
    // No fsync: the rename already keeps an interrupted program or a failed
    // write from leaving half a file, and waiting for the disk would double
    // the time of a chip-sized save. close() still reports late write errors.
    bool ok = !failed_;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    if (!inPlace_) {
        if (ok)
            ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
        if (!ok)
            ::unlink(temp_.c_str());
        temp_.clear();
    }
    return ok;
}

void OutputFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        if (!inPlace_ && !temp_.empty())
            ::unlink(temp_.c_str());
    }
    temp_.clear();
    if (block_)
        fill_ = block_.get();
}

} // namespace vantor
