#pragma once
// Write protection of an emulated SPI flash, as the parts on the bench have
// it: the status register's block-protect bits BP2..BP0 guard the top
// 1/64 ... 1/2 of the array (7: all of it), and some parts (SST26) lock
// every block in a register until the global unlock (98h). Protected blocks
// ignore program and erase; a chip erase does nothing while any block is
// protected. The host changes it through the SPI-command block: write
// enable (06h), write disable (04h), write status register (01h xx) and the
// global unlock (98h), each needing the write enable latch first.
//
// Set up by `protect = none | 0..7 | all | global` in the chip section.
#include <cstdint>
#include <string>

namespace vantor::emu {

class Protection {
public:
    // Reads a `protect` value; false with `error` set when it is none of them.
    static bool Parse(const std::string& text, std::string& error);

    void reset(const std::string& setting);
    // True when any byte of [address, address + count) lies in a protected block.
    bool guards(std::uint32_t address, std::uint32_t count, std::uint32_t chipSize) const;
    bool any() const { return BlockProtect != 0 || GlobalLock; }
    bool writeEnabled() const { return WriteEnabled; }
    // One SPI transaction the host sent under one chip select.
    void transaction(const std::uint8_t* bytes, int count);
    std::uint8_t statusRegister() const;

private:
    int BlockProtect = 0;    // BP2..BP0
    bool GlobalLock = false; // every block locked in the block-protection register
    bool WriteEnabled = false;
};

} // namespace vantor::emu
