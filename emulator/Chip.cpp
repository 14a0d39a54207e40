#include "emulator/Chip.h"
#include "core/ChipFamily.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::emu {

bool IsRegularOrAbsent(const std::string& path, std::string& why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(st.st_mode)) {
        why = path + ": not a regular file";
        return false;
    }
    return true;
}

// Opens `path` without blocking and only when it is a regular file.
int OpenRegular(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length, off_t at) {
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, data, length, at);
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= std::size_t(n);
        at += n;
    }
    return true;
}

} // namespace

Chip::Chip(const ChipConfig& config) : Config(config), Size(config.size) {
    protection.reset(config.protect);
    if (!mapImage()) {
        Own.resize(Size);
        Memory = Own;
        fillInitial(Memory.data());
    }
}

Chip::~Chip() {
    if (Mapping != nullptr) {
        ::munmap(Mapping, Size);
    }
    if (ImageFd >= 0) {
        ::close(ImageFd);
    }
}

void Chip::fillInitial(std::uint8_t* memory) const {
    if (Config.fill == "zero") {
        std::fill(memory, memory + Size, 0x00);
    } else if (Config.fill == "demo") {
        // Text lines that say where they are, easy to recognise in a hex view.
        char line[64];
        for (std::uint32_t at = 0; at + 32 <= Size; at += 32) {
            std::snprintf(line, sizeof line, "Vantor+ demo %06X @%08X  \n",
                          unsigned(Config.jedec & 0xFFFFFF), unsigned(at));
            std::memcpy(&memory[at], line, 32);
        }
    } else {
        std::fill(memory, memory + Size, 0xFF);
    }
}

bool Chip::mapImage() {
    if (Config.image.empty()) {
        return false;
    }
    const std::string& path = Config.image;
    std::string why;
    if (!IsRegularOrAbsent(path, why)) {
        std::fprintf(stderr, "vantor emulator: %s; the chip lives in memory\n", why.c_str());
        return false;
    }
    int fd = OpenRegular(path, O_RDWR);
    if (fd < 0 && errno == ENOENT) {
        // First use: the initial contents appear under the name in one step,
        // so a second process never maps a file still being filled.
        // (The mode is the usual 0666 less the umask, as for any new file.)
        const std::string temp = path + ".new." + std::to_string(::getpid());
        const int t = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (t >= 0) {
            std::vector<std::uint8_t> initial(Size);
            fillInitial(initial.data());
            const bool written = WriteAll(t, initial.data(), initial.size(), 0);
            ::close(t);
            if (written && ::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
                std::fprintf(stderr, "vantor emulator: cannot create %s: %s\n", path.c_str(),
                             std::strerror(errno));
            }
            ::unlink(temp.c_str());
        }
        fd = OpenRegular(path, O_RDWR);
    }
    const bool writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = OpenRegular(path, O_RDONLY); // seen, never changed on disk
    }
    if (fd < 0) {
        return false;
    }
    if (!writable) {
        // Seen, never changed on disk: this process works on its own copy.
        Own.assign(Size, 0xFF);
        const ssize_t got = ::pread(fd, Own.data(), Size, 0);
        (void)got; // a short or failed read leaves the rest erased
        ::close(fd);
        Memory = Own;
        return true;
    }
    ImageFd = fd;
    void* m =
        keepWhole() ? ::mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    if (m == MAP_FAILED) {
        ::close(fd);
        ImageFd = -1;
        return false;
    }
    Mapping = m;
    Memory = {static_cast<std::uint8_t*>(m), Size};
    return true;
}

bool Chip::keepWhole() {
    // A chip larger than its image reads erased where nothing was stored. An
    // image cut short under us (copied over, say) is extended the same way:
    // touching the mapping past the end of the file would kill the process.
    struct stat st {};
    if (ImageFd < 0 || ::fstat(ImageFd, &st) != 0 || st.st_size >= off_t(Size)) {
        return ImageFd >= 0;
    }
    const std::vector<std::uint8_t> blank(Size - std::size_t(st.st_size), 0xFF);
    return WriteAll(ImageFd, blank.data(), blank.size(), st.st_size);
}

bool Chip::save() {
    if (!dirty || Mapping == nullptr) {
        return true;
    }
    dirty = false;
    return ::msync(Mapping, Size, MS_ASYNC) == 0;
}

std::uint32_t Chip::decode(std::uint32_t address) const {
    if (Config.family == ChipFamily::SpiFlash25 && !fourByteMode) {
        address &= 0xFFFFFFu;
    }
    return address % size();
}

void Chip::read(std::uint32_t address, std::uint8_t* out, std::uint32_t count) const {
    const bool threeByte = Config.family == ChipFamily::SpiFlash25 && !fourByteMode;
    while (count > 0) {
        const std::uint32_t at = decode(address);
        std::uint32_t run = std::min(count, size() - at);
        if (threeByte) {
            run = std::min(run, 0x1000000u - (address & 0xFFFFFFu));
        }
        std::memcpy(out, &Memory[at], run);
        out += run;
        address += run;
        count -= run;
    }
}

void Chip::programPage(std::uint32_t address, const std::uint8_t* data, std::uint32_t count) {
    const std::uint32_t at = decode(address);
    const std::uint32_t page = Config.page;
    const std::uint32_t base = at - at % page;
    const std::uint32_t offset = at % page;
    const bool flash = Config.family == ChipFamily::SpiFlash25;
    if (flash && protection.guards(base, page, size())) {
        return; // a protected block ignores programming
    }
    dirty = true;
    if (offset + count <= page && at + count <= size()) {
        // The usual case: the write stays inside one page of the chip.
        std::uint8_t* target = &Memory[at];
        if (flash) {
            for (std::uint32_t k = 0; k < count; ++k) {
                target[k] &= data[k];
            }
        } else {
            std::memcpy(target, data, count);
        }
        return;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t target = (base + (offset + k) % page) % size();
        if (flash) {
            Memory[target] &= data[k]; // programming only clears bits
        } else {
            Memory[target] = data[k];
        }
    }
    dirty = true;
}

void Chip::eraseAll() {
    if (Config.family == ChipFamily::SpiFlash25 && protection.any()) {
        return; // chip erase is ignored while any block is protected
    }
    std::fill(Memory.begin(), Memory.end(), 0xFF);
    dirty = true;
}

void Chip::eraseRange(std::uint32_t address, std::uint32_t count) {
    for (std::uint32_t k = 0; k < count; ++k) {
        Memory[decode(address + k)] = 0xFF;
    }
    dirty = true;
}

} // namespace vantor::emu
