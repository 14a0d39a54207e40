#pragma once
// How an emulated SPI flash leaves 3-byte addressing, and what it makes of a
// 4-byte address while it is still in 3-byte mode. Makers differ: most take
// a bare B7h, Micron and XMC only after a write enable, Spansion's FL-S parts
// ignore B7h and switch with bit 7 of their bank register (17h).
//
// Set up by `four_byte_entry = auto | b7 | wren-b7 | bank` in the chip
// section; `auto` goes by the JEDEC maker byte.
#include "emulator/Config.h"

#include <cstdint>
#include <string>

namespace vantor::emu {

enum class EntryMethod { B7, WriteEnableB7, BankRegister };

// Reads a `four_byte_entry` value; false with `error` set when it is none of them.
bool ParseEntryMethod(const std::string& text, std::string& error);

// The chip's method: as set, or by its maker for `auto`.
EntryMethod EntryMethodOf(const ChipConfig& config);

// The address mode after one SPI transaction the host sent under one chip
// select; `writeEnabled` is the write enable latch as the transaction found it.
bool FourByteAfter(EntryMethod method, const std::uint8_t* bytes, int count, bool writeEnabled,
                   bool fourByte);

// A chip in 3-byte mode sent the 4-byte address `address` takes its first
// three bytes as the address. A read is already answering while the fourth
// byte goes out, so the programmer's first byte is the chip's second; a page
// program takes the fourth byte as its first data byte.
constexpr std::uint32_t MisreadStart(std::uint32_t address) {
    return ((address >> 8) + 1) & 0xFFFFFFu;
}
constexpr std::uint32_t MisprogramStart(std::uint32_t address) {
    return (address >> 8) & 0xFFFFFFu;
}

} // namespace vantor::emu
