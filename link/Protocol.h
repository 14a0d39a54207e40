#pragma once
// The programmer's wire protocol: identity, endpoints, opcodes and the 64-byte
// command blocks. One header for the host (engine, transport), the emulator's
// firmware model and the tests, so both ends of the cable agree by
// construction. Everything here is pure: bytes in, bytes out.
#include "core/ChipFamily.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantor {

// ---- Identity -------------------------------------------------------------

inline constexpr int kProgrammerVendorId = 0x1FC8;
inline constexpr int kProgrammerProductId = 0x310B;
inline constexpr char kManufacturerText[] = "VUZOvad";
// Product texts; each names one variant. Compared exactly, the longer first.
inline constexpr char kProductTextDudOVEDuro[] = "DudOVEDuro";
inline constexpr char kProductTextDudOVEDuroDevice[] = "DudOVEDuro Device";
inline constexpr int kStringLanguageId = 0x0409;

struct EndpointSet {
    int in;         // replies and read data
    int dataOut;    // data to be programmed
    int commandOut; // command blocks
};
// "DudOVEDuro": multi-byte fields big-endian.
inline constexpr EndpointSet kEndpointsDudOVEDuro{0x82, 0x01, 0x02};
// "DudOVEDuro Device": multi-byte fields little-endian.
inline constexpr EndpointSet kEndpointsDudOVEDuroDevice{0x85, 0x05, 0x04};

// The two variants are told apart by the IN endpoint alone.
constexpr bool IsBigEndianVariant(int inEndpoint) {
    return inEndpoint == kEndpointsDudOVEDuro.in;
}

// ---- Command blocks -------------------------------------------------------

inline constexpr std::size_t kCommandBlockSize = 64;
using CommandBlock = std::array<std::uint8_t, kCommandBlockSize>;

enum Opcode : std::uint8_t {
    CMD_ERASE = 2,
    CMD_SET_ADDRESS = 5,
    CMD_CHIP_SETUP = 7,
    CMD_FINISH = 8,
    CMD_READ_ID = 9,
    CMD_READ_STATUS = 10,
    CMD_SPI_COMMAND = 11,
};

// Byte 0 of each command: 1 for the commands the programmer acts on without
// answering (erase, finish), 0 for the rest.
constexpr std::uint8_t ModeByte(std::uint8_t opcode) {
    return (opcode == CMD_ERASE || opcode == CMD_FINISH) ? 1 : 0;
}

// Offsets inside a block.
namespace block {
inline constexpr std::size_t kMode = 0;
inline constexpr std::size_t kOpcode = 1;
inline constexpr std::size_t kFamily = 2;
inline constexpr std::size_t kSubType = 3;
inline constexpr std::size_t kPage = 4;           // 16 bits
inline constexpr std::size_t kDelay = 6;          // 16 bits
inline constexpr std::size_t kSize = 8;           // 32 bits
inline constexpr std::size_t kChipId = 12;        // 32 bits
inline constexpr std::size_t kClock = 16;         // speed and/or voltage
inline constexpr std::size_t kVoltage = 28;       // voltage code
inline constexpr std::size_t kAddress = 8;        // CMD_SET_ADDRESS, 32 bits
inline constexpr std::size_t kEraseArgument = 26; // CMD_ERASE, 16 bits
inline constexpr std::size_t kSpiLength = 3;      // CMD_SPI_COMMAND
inline constexpr std::size_t kSpiBytes = 4;
} // namespace block

enum VoltageCode : std::uint8_t { kVoltage3V3 = 0, kVoltage1V8 = 1, kVoltage5V0 = 2 };

// Speed index = item of the speed box: 12 MHz, 6, 3, 1.5 MHz, 750 kHz, 375 kHz.
inline constexpr int kSpeedCount = 6;

// Reply of CMD_READ_ID, byte 0.
enum IdReplyKind : std::uint8_t {
    kIdNoChip = 0,
    kIdJedec = 1,      // bytes 1..3: the chip's three ID bytes
    kIdSecondType = 2, // a chip without ID: 24-series
    kIdThirdType = 3,  // a chip without ID: 93-series
};
// Reply of CMD_READ_STATUS, byte 0.
inline constexpr std::uint8_t kStatusBusy = 0x01;

inline constexpr std::uint16_t kFlashChipEraseArgument = 0x8000;
inline constexpr std::uint8_t kSpiEnter4ByteMode = 0xB7;
// The other SPI flash instructions the host sends through CMD_SPI_COMMAND
// around 4-byte entry: the write enable some makers want before 0xB7, and the
// bank register write whose bit 7 switches Spansion's FL-S parts instead.
inline constexpr std::uint8_t kSpiWriteEnable = 0x06;
inline constexpr std::uint8_t kSpiBankRegisterWrite = 0x17;
inline constexpr std::uint8_t kBankRegisterExtendedAddress = 0x80;
inline constexpr std::uint8_t kSpiCommandTarget = 3; // byte 2 of CMD_SPI_COMMAND
inline constexpr std::uint32_t kFourByteThreshold = 16u * 1024u * 1024u;
inline constexpr std::uint32_t kMinimumChunk = 64;

// The chip parameters that travel in CMD_CHIP_SETUP and CMD_READ_ID, as plain
// values so this header needs nothing from the chip database.
struct ChipParameters {
    std::uint8_t family = 0;
    std::uint8_t subType = 0;
    std::uint16_t page = 0;
    std::uint16_t delay = 0;
    std::uint32_t size = 0;
    std::uint32_t chipId = 0;
    std::uint8_t voltage = 0; // VoltageCode
};

// ---- Field access -----------------------------------------------------------

constexpr void Put16(CommandBlock& b, std::size_t at, std::uint16_t v, bool bigEndian) {
    if (bigEndian) {
        b[at] = std::uint8_t(v >> 8);
        b[at + 1] = std::uint8_t(v);
    } else {
        b[at] = std::uint8_t(v);
        b[at + 1] = std::uint8_t(v >> 8);
    }
}

constexpr void Put32(CommandBlock& b, std::size_t at, std::uint32_t v, bool bigEndian) {
    for (std::size_t i = 0; i < 4; ++i) {
        const unsigned shift = bigEndian ? 8 * (3 - i) : 8 * i;
        b[at + i] = std::uint8_t(v >> shift);
    }
}

constexpr std::uint16_t Get16(const std::uint8_t* b, std::size_t at, bool bigEndian) {
    return bigEndian ? std::uint16_t(b[at] << 8 | b[at + 1])
                     : std::uint16_t(b[at] | b[at + 1] << 8);
}

constexpr std::uint32_t Get32(const std::uint8_t* b, std::size_t at, bool bigEndian) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const unsigned shift = bigEndian ? 8 * (3 - i) : 8 * i;
        v |= std::uint32_t(b[at + i]) << shift;
    }
    return v;
}

// ---- Builders ---------------------------------------------------------------

constexpr CommandBlock EmptyBlock(std::uint8_t opcode) {
    CommandBlock b{};
    b[block::kMode] = ModeByte(opcode);
    b[block::kOpcode] = opcode;
    return b;
}

// Byte 16 of CMD_CHIP_SETUP: the clock for SPI flash, clock and voltage for
// 25-series EEPROMs, the voltage alone for the others.
constexpr std::uint8_t SetupClockByte(std::uint8_t family, int speedIndex, std::uint8_t voltage) {
    switch (family) {
    case ChipFamily::SpiFlash25:
        return std::uint8_t(speedIndex);
    case ChipFamily::Eeprom25:
        return std::uint8_t(speedIndex * 16 + voltage);
    default:
        return voltage;
    }
}

namespace detail {
constexpr CommandBlock ChipBlock(std::uint8_t opcode, const ChipParameters& p,
                                 std::uint8_t clockByte, bool bigEndian) {
    CommandBlock b = EmptyBlock(opcode);
    b[block::kFamily] = p.family;
    b[block::kSubType] = p.subType;
    Put16(b, block::kPage, p.page, bigEndian);
    Put16(b, block::kDelay, p.delay, bigEndian);
    Put32(b, block::kSize, p.size, bigEndian);
    Put32(b, block::kChipId, p.chipId, bigEndian);
    b[block::kClock] = clockByte;
    b[block::kVoltage] = p.voltage;
    return b;
}
} // namespace detail

constexpr CommandBlock BuildChipSetup(const ChipParameters& p, int speedIndex, bool bigEndian) {
    return detail::ChipBlock(CMD_CHIP_SETUP, p, SetupClockByte(p.family, speedIndex, p.voltage),
                             bigEndian);
}

// The ID request carries the same layout, with the clock alone in byte 16.
constexpr CommandBlock BuildReadId(const ChipParameters& p, int speedIndex, bool bigEndian) {
    return detail::ChipBlock(CMD_READ_ID, p, std::uint8_t(speedIndex), bigEndian);
}

constexpr CommandBlock BuildErase(std::uint16_t argument, bool bigEndian) {
    CommandBlock b = EmptyBlock(CMD_ERASE);
    Put16(b, block::kEraseArgument, argument, bigEndian);
    return b;
}

constexpr CommandBlock BuildSetAddress(std::uint32_t address, bool bigEndian) {
    CommandBlock b = EmptyBlock(CMD_SET_ADDRESS);
    Put32(b, block::kAddress, address, bigEndian);
    return b;
}

constexpr CommandBlock BuildFinish() {
    return EmptyBlock(CMD_FINISH);
}

// The status poll reuses the buffer of the erase command and of the replies
// that followed it: only bytes 0 and 1 are rewritten.
constexpr void MakeReadStatus(CommandBlock& previous) {
    previous[block::kMode] = ModeByte(CMD_READ_STATUS);
    previous[block::kOpcode] = CMD_READ_STATUS;
}

// CMD_SPI_COMMAND with one instruction byte.
constexpr CommandBlock BuildSpiCommand(std::uint8_t instruction) {
    CommandBlock b = EmptyBlock(CMD_SPI_COMMAND);
    b[2] = kSpiCommandTarget;
    b[block::kSpiLength] = 1;
    b[block::kSpiBytes] = instruction;
    return b;
}

// CMD_SPI_COMMAND carrying one whole SPI transaction: the instruction and its
// argument bytes, sent under one chip select. At most 60 bytes fit.
inline constexpr std::size_t kSpiMaxBytes = kCommandBlockSize - block::kSpiBytes;
constexpr CommandBlock BuildSpiTransaction(const std::uint8_t* bytes, std::size_t count) {
    CommandBlock b = EmptyBlock(CMD_SPI_COMMAND);
    b[2] = kSpiCommandTarget;
    count = count < kSpiMaxBytes ? count : kSpiMaxBytes;
    b[block::kSpiLength] = std::uint8_t(count);
    for (std::size_t k = 0; k < count; ++k) {
        b[block::kSpiBytes + k] = bytes[k];
    }
    return b;
}

// ---- Decoding (the firmware's side) -------------------------------------------

constexpr ChipParameters DecodeChipParameters(const std::uint8_t* b, bool bigEndian) {
    ChipParameters p;
    p.family = b[block::kFamily];
    p.subType = b[block::kSubType];
    p.page = Get16(b, block::kPage, bigEndian);
    p.delay = Get16(b, block::kDelay, bigEndian);
    p.size = Get32(b, block::kSize, bigEndian);
    p.chipId = Get32(b, block::kChipId, bigEndian);
    p.voltage = b[block::kVoltage];
    return p;
}

// Chunk of the data streams: the page, at least 64 bytes.
constexpr std::uint32_t ChunkSize(std::uint32_t page) {
    return page < kMinimumChunk ? kMinimumChunk : page;
}

constexpr bool NeedsFourByteMode(std::uint32_t flashSize) {
    return flashSize > kFourByteThreshold;
}

} // namespace vantor
