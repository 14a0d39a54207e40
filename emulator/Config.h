#pragma once
// The emulator's set-up, read from a small INI text:
//
//   [bus]                     devices = programmer, other   (enumeration order)
//                             log = 1, log_limit = 200000,
//                             timing = instant | usb-full-speed
//   [programmer]              one section per listed device:
//                             bus = 1, plugged = 1, vendor = 0x1FC8, product_id = 0x310B,
//                             manufacturer = VUZOvad, product = DudOVEDuro Device,
//                             serial = 0001,
//                             variant = device|duro (endpoints when the product text is
//                             neither of ours), string_type = 3, open_fails = 0,
//                             claim_fails = 0 (1, an errno number or EACCES, EPERM,
//                             EBUSY, ENODEV, EIO), interface = 0, chip = chip | none,
//                             turnaround_us = 50
//   [chip]                    family = 0..4, jedec = EF4016, size = 4M, page = 256,
//                             organisation = 8|16, erase_busy_polls = 3,
//                             erase_busy_ms = 0, image = file, fill = blank|demo|zero,
//                             page_program_us = 400, chip_erase_ms = 2500 per MiB,
//                             write_cycle_ms = 5,
//                             protect = none|0..7|all|global
//                             four_byte_entry = auto|b7|wren-b7|bank
//   [faults]                  seed = 1; KIND_at = N, M ... and KIND_rate = 0.001 for
//                             KIND in unplug, timeout, short_read, short_write, stall,
//                             bitflip, lost_write
//
// Names are case-insensitive; ';' or '#' start a comment line. Without a
// [bus] devices list the device is [programmer] (all defaults when absent).
// docs/emulator.md describes every key.
#include <cstdint>
#include <string>
#include <vector>

namespace vantor::emu {

struct ChipConfig {
    bool present = true;
    int family = 0;
    std::uint32_t jedec = 0xEF4016;
    std::uint32_t size = 4u * 1024 * 1024;
    std::uint32_t page = 256; // the chip's own write page
    int organisation = 8;     // 93-series: 8 or 16 bits
    int eraseBusyPolls = 3;   // status polls answered busy after a chip erase
    int eraseBusyMs = 0;      // and/or wall-clock busy time
    std::string image;        // file holding the contents; empty = memory only
    std::string fill = "blank";
    // Datasheet times, taken with bench timing only.
    std::uint32_t pageProgramUs = 400; // SPI flash page program (W25Q typical)
    long chipEraseMs = -1;             // -1: 2.5 s per MiB, as the W25Q family
    std::uint32_t writeCycleMs = 5;    // EEPROM write cycle (page, word or erase)
    std::string protect;       // SPI flash write protection at power-up (emulator/Protection.h)
    std::string fourByteEntry; // how SPI flash enters 4-byte mode (emulator/AddressMode.h)

    bool sameChip(const ChipConfig& o) const {
        return present == o.present && family == o.family && jedec == o.jedec && size == o.size &&
               page == o.page && organisation == o.organisation && image == o.image &&
               fill == o.fill && protect == o.protect && fourByteEntry == o.fourByteEntry;
    }
    std::int64_t chipEraseUs() const {
        return chipEraseMs >= 0 ? std::int64_t(chipEraseMs) * 1000
                                : std::int64_t(size) * 2500000 / (1024 * 1024);
    }
};

struct DeviceConfig {
    std::string name = "programmer";
    int bus = 1;
    std::uint16_t vendor = 0x1FC8;
    std::uint16_t productId = 0x310B;
    std::string manufacturer = "VUZOvad";
    std::string product = "DudOVEDuro Device";
    std::string serial = "0001";
    bool bigEndianVariant = false; // from the product text, else `variant`
    int stringType = 3;
    bool plugged = true;
    int openFails = 0;  // errno usb_open fails with (ENODEV for "1"); 0 = it opens
    int claimFails = 0; // errno the claim fails with (EBUSY for "1"); 0 = it claims
    int interfaceNumber = 0;
    std::uint32_t turnaroundUs = 50; // firmware time per command block, bench timing
    ChipConfig chip;
};

enum FaultKind {
    kFaultUnplug = 0,
    kFaultTimeout,
    kFaultShortRead,
    kFaultShortWrite,
    kFaultStall,
    kFaultBitflip,
    kFaultLostWrite,
    kFaultKinds
};

struct FaultPlan {
    std::uint64_t seed = 1;
    std::vector<long> at[kFaultKinds];
    double rate[kFaultKinds] = {};
    bool any() const;
};

struct Config {
    std::vector<DeviceConfig> devices;
    FaultPlan faults;
    bool benchTiming = false; // timing = usb-full-speed: transfers take link time
    bool log = true;
    long logLimit = 200000;
};

// Parses `text`; image paths that are relative are taken relative to
// `baseDir` (empty = as they are). False with `error` set on a bad text.
bool ParseConfig(const std::string& text, const std::string& baseDir, Config& out,
                 std::string& error);
Config DefaultConfig();

} // namespace vantor::emu
