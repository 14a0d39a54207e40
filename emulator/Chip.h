#pragma once
// A serial memory chip in the emulated socket: its cells, where they live and
// how programming and erasing change them.
#include "emulator/Config.h"
#include "emulator/Protection.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantor::emu {

// A serial memory chip. Addresses are taken the way the chip decodes them:
// SPI flash sees 24 address bits until 0xB7 switches it to 32, every chip
// ignores the bits above its size.
//
// A chip with an image file lives in that file, mapped shared: every page
// programmed or erased is on disk at once, a process killed mid-write leaves
// the half-written chip behind, and processes using the same image see one
// chip. Without an image (or when the file cannot be written) the chip lives
// in this process's memory.
class Chip {
public:
    explicit Chip(const ChipConfig& config);
    ~Chip();
    Chip(const Chip&) = delete;
    Chip& operator=(const Chip&) = delete;
    const ChipConfig& config() const { return Config; }
    std::uint32_t size() const { return Size; }
    std::uint8_t* data() { return Memory.data(); }
    // True when the contents live in the image file, shared with other processes.
    bool sharedImage() const { return Mapping != nullptr; }

    std::uint32_t decode(std::uint32_t address) const;
    void read(std::uint32_t address, std::uint8_t* out, std::uint32_t count) const;
    // One page write of the programmer: bytes past the end of the chip's own
    // page wrap to the start of that page. Flash only clears bits.
    void programPage(std::uint32_t address, const std::uint8_t* data, std::uint32_t count);
    void eraseAll();
    void eraseRange(std::uint32_t address, std::uint32_t count);

    bool fourByteMode = false;
    bool dirty = false; // changed since the last save
    Protection protection;
    int busyPolls = 0;
    std::chrono::steady_clock::time_point busyUntil{};

    bool save(); // asks the system to write the changed image to disk
    // Extends an image file shorter than the chip with FFh; false when the
    // chip has no image file or it cannot be written.
    bool keepWhole();

private:
    void fillInitial(std::uint8_t* memory) const;
    bool mapImage();

    ChipConfig Config;
    std::uint32_t Size = 0;
    std::span<std::uint8_t> Memory; // the mapped image or Own
    std::vector<std::uint8_t> Own;  // memory-only contents
    void* Mapping = nullptr;
    int ImageFd = -1; // the mapped image, kept to notice it shrinking
};

// A regular file at `path`, checked without blocking: a FIFO or a device is
// refused at once (opening it could wait for a writer or act on hardware).
// Sets `why` when the path exists and is not a regular file.
bool IsRegularOrAbsent(const std::string& path, std::string& why);

// Opens `path` without blocking and only when it is a regular file; -1 with
// errno set otherwise.
int OpenRegular(const std::string& path, int flags);

} // namespace vantor::emu
