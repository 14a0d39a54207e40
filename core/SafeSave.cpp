#include "core/SafeSave.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {
namespace {

// ---- temporary files a signal must remove ----------------------------------------------
// A fixed table the handler can walk without allocating: each slot holds the
// path of one save in progress while `used` is set.

constexpr int kLiveSlots = 16;
struct LiveTemp {
    std::atomic<bool> used{false};
    char path[PATH_MAX];
};
LiveTemp gLive[kLiveSlots];
struct sigaction gPrevious[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};
std::once_flag gHandlersInstalled;

void RemoveLiveTemps(int signal, siginfo_t* info, void* context) {
    const struct sigaction& previous = gPrevious[signal == SIGINT ? 0 : 1];
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        // The program handles the signal itself (a Stop, say) and goes on:
        // its saves finish or are discarded the ordinary way.
        previous.sa_handler(signal);
        return;
    }
    // The signal ends us: take the temporary files along, then end the way
    // the signal would have ended us.
    for (LiveTemp& slot : gLive) {
        if (slot.used.load())
            ::unlink(slot.path);
    }
    ::sigaction(signal, &previous, nullptr);
    ::raise(signal);
}

void InstallHandlers() {
    for (int i = 0; i < 2; ++i) {
        struct sigaction current {};
        ::sigaction(kSignals[i], nullptr, &current);
        gPrevious[i] = current;
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN)
            continue; // the signal cannot end us, so nothing to clean
        struct sigaction ours {};
        ours.sa_sigaction = RemoveLiveTemps;
        sigemptyset(&ours.sa_mask);
        ours.sa_flags = SA_RESTART | SA_SIGINFO;
        ::sigaction(kSignals[i], &ours, nullptr);
    }
}

int Register(const std::string& path) {
    std::call_once(gHandlersInstalled, InstallHandlers);
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kLiveSlots; ++i) {
        if (gLive[i].used.load())
            continue;
        bool expected = false;
        if (gLive[i].used.compare_exchange_strong(expected, true)) {
            std::memcpy(gLive[i].path, path.c_str(), path.size() + 1);
            return i;
        }
    }
    return -1;
}

void Unregister(int slot) {
    if (slot >= 0)
        gLive[slot].used.store(false);
}

// ---- names -----------------------------------------------------------------------------

std::string Hash8(const std::string& text) {
    std::uint32_t h = 2166136261u; // FNV-1a
    for (unsigned char c : text) {
        h ^= c;
        h *= 16777619u;
    }
    char out[9];
    std::snprintf(out, sizeof out, "%08x", h);
    return out;
}

// Follows symbolic links at `path` (dangling ones too), so a save replaces
// the file a link points to and the link stays a link.
std::string ResolveLinks(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(current, ec)))
            break;
        fs::path next = fs::read_symlink(current, ec);
        if (ec)
            break;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current.string();
}

bool WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd, p, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

// Removes temporary files of `targetName` in `folder` whose process is gone.
void RemoveStaleTemps(const std::string& folder, const std::string& targetName) {
    const std::string prefix = ".vt-" + Hash8(targetName) + "-";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (end == nullptr || *end != '.' || pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(dir);
}

} // namespace

int NamedDescriptor(const std::string& path) {
    if (path == "/dev/stdout")
        return 1;
    if (path == "/dev/stderr")
        return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::size_t n = std::strlen(prefix);
        if (path.compare(0, n, prefix) == 0 && path.size() > n) {
            char* end = nullptr;
            const long fd = std::strtol(path.c_str() + n, &end, 10);
            if (*end == '\0' && fd >= 0 && fd < INT_MAX)
                return static_cast<int>(fd);
        }
    }
    return -1;
}

std::string TempNamePrefix(const std::string& targetName, long pid) {
    return ".vt-" + Hash8(targetName) + "-" + std::to_string(pid) + ".";
}

SafeFile::~SafeFile() {
    Discard();
}

bool SafeFile::fail(Failure failure, int error) {
    failure_ = failure;
    error_ = error;
    return false;
}

bool SafeFile::Open(const std::string& path) {
    Discard();
    failure_ = Failure::None;
    error_ = 0;
    if (path.empty())
        return fail(Failure::CannotCreate, ENOENT);

    // A name for a descriptor we already hold: write to that descriptor.
    if (const int named = NamedDescriptor(path); named >= 0) {
        fd_ = ::fcntl(named, F_DUPFD_CLOEXEC, 3);
        if (fd_ < 0)
            return fail(Failure::CannotCreate, errno);
        streaming_ = true;
        return true;
    }

    target_ = ResolveLinks(path);
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return fail(Failure::CannotCreate, EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0)
            return fail(Failure::CannotCreate, errno);
        streaming_ = true;
        return true;
    }
    if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0 &&
        (errno == EACCES || errno == EPERM || errno == EROFS))
        return fail(Failure::ReadOnly, errno);

    const std::size_t slash = target_.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : target_.substr(0, slash));
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (name.empty())
        return fail(Failure::CannotCreate, EISDIR);

    std::string temp = folder + "/" + TempNamePrefix(name, ::getpid()) + "XXXXXX";
    // Listed before it exists, so no signal can come between the two; the
    // random tail is filled into the listed name in place.
    slot_ = Register(temp);
    if (slot_ < 0)
        return fail(Failure::CannotCreate, EMFILE);
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        Unregister(slot_);
        slot_ = -1;
        return fail(Failure::CannotCreate, err);
    }
    std::memcpy(gLive[slot_].path, temp.c_str(), temp.size());
    fd_ = fd;
    temp_ = temp;

    // The new file gets the old one's permissions (and owner, where we may
    // give it), or what a plain create would give.
    if (exists) {
        ::fchmod(fd_, st.st_mode & 07777);
        if (::fchown(fd_, st.st_uid, st.st_gid) != 0) {
            // Only a privileged process may give a file away.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    RemoveStaleTemps(folder, name);
    return true;
}

bool SafeFile::Write(const void* data, std::size_t n) {
    if (fd_ < 0 || failure_ != Failure::None)
        return false;
    if (!WriteAll(fd_, static_cast<const char*>(data), n))
        return fail(Failure::WriteFailed, errno);
    return true;
}

bool SafeFile::Commit(bool durable) {
    if (fd_ < 0)
        return false;
    bool ok = failure_ == Failure::None;
    if (ok && durable && !streaming_ && ::fsync(fd_) != 0)
        ok = fail(Failure::WriteFailed, errno);
    if (::close(fd_) != 0 && ok) // late write errors surface here
        ok = fail(Failure::WriteFailed, errno);
    fd_ = -1;
    if (streaming_) {
        streaming_ = false;
        return ok;
    }
    if (ok && ::rename(temp_.c_str(), target_.c_str()) != 0)
        ok = fail(Failure::WriteFailed, errno);
    if (!ok)
        ::unlink(temp_.c_str());
    Unregister(slot_);
    slot_ = -1;
    if (ok && durable) {
        // Make the rename itself durable; the data is already safe, so a
        // folder that refuses this is not a failure of the save.
        const std::size_t slash = target_.rfind('/');
        const std::string folder =
            slash == std::string::npos ? "." : (slash == 0 ? "/" : target_.substr(0, slash));
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            (void)::fsync(dir);
            ::close(dir);
        }
    }
    temp_.clear();
    return ok;
}

void SafeFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        Unregister(slot_);
        slot_ = -1;
        temp_.clear();
    }
    streaming_ = false;
}

bool SaveWholeFile(const std::string& path, const void* data, std::size_t size,
                   SafeFile::Failure* failure, int* error) {
    SafeFile file;
    const bool ok = file.Open(path) && file.Write(data, size) && file.Commit();
    if (failure)
        *failure = file.failure();
    if (error)
        *error = file.error();
    return ok;
}

int OpenRegularForReading(const std::string& path) {
    // Non-blocking, so opening a FIFO without a writer returns at once.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = err;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace vantor
