#include "emulator/Protection.h"
#include "core/AsciiText.h"

namespace vantor::emu {

namespace {

constexpr std::uint8_t kWriteEnable = 0x06;
constexpr std::uint8_t kWriteDisable = 0x04;
constexpr std::uint8_t kWriteStatus = 0x01;
constexpr std::uint8_t kGlobalUnlock = 0x98;
constexpr std::uint8_t kStatusWel = 0x02;
constexpr int kBpShift = 2;

} // namespace

bool Protection::Parse(const std::string& text, std::string& error) {
    const std::string v = LowerAsciiText(text);
    if (v.empty() || v == "none" || v == "all" || v == "global" ||
        (v.size() == 1 && v[0] >= '0' && v[0] <= '7')) {
        return true;
    }
    error = "protect must be none, 0 to 7, all or global, not \"" + text + "\"";
    return false;
}

void Protection::reset(const std::string& setting) {
    const std::string v = LowerAsciiText(setting);
    WriteEnabled = false;
    GlobalLock = v == "global";
    BlockProtect = v == "all" ? 7 : (v.size() == 1 && v[0] >= '0' && v[0] <= '7') ? v[0] - '0' : 0;
}

bool Protection::guards(std::uint32_t address, std::uint32_t count, std::uint32_t chipSize) const {
    if (GlobalLock || BlockProtect == 7) {
        return true;
    }
    if (BlockProtect == 0) {
        return false;
    }
    // BP = 1 guards the top 1/64, each step up doubles it.
    const std::uint32_t guarded = chipSize >> (7 - BlockProtect);
    return std::uint64_t(address) + count > chipSize - guarded;
}

void Protection::transaction(const std::uint8_t* bytes, int count) {
    if (count <= 0) {
        return;
    }
    switch (bytes[0]) {
    case kWriteEnable:
        WriteEnabled = true;
        return;
    case kWriteDisable:
        WriteEnabled = false;
        return;
    case kWriteStatus:
        if (WriteEnabled && count >= 2) {
            BlockProtect = (bytes[1] >> kBpShift) & 7;
        }
        break;
    case kGlobalUnlock:
        if (WriteEnabled) {
            GlobalLock = false;
        }
        break;
    default:
        return; // other instructions leave the latch alone
    }
    WriteEnabled = false; // a completed write instruction clears the latch
}

std::uint8_t Protection::statusRegister() const {
    return std::uint8_t(BlockProtect << kBpShift | (WriteEnabled ? kStatusWel : 0));
}

} // namespace vantor::emu
