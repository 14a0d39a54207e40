#include "emulator/AddressMode.h"
#include "core/AsciiText.h"

#include "link/Protocol.h"

namespace vantor::emu {

namespace {

constexpr std::uint8_t kExit4ByteMode = 0xE9;
constexpr std::uint8_t kMakerMicron = 0x20; // Micron, ST, XMC
constexpr std::uint8_t kMakerSpansion = 0x01;

} // namespace

bool ParseEntryMethod(const std::string& text, std::string& error) {
    const std::string v = LowerAsciiText(text);
    if (v.empty() || v == "auto" || v == "b7" || v == "wren-b7" || v == "bank") {
        return true;
    }
    error = "four_byte_entry must be auto, b7, wren-b7 or bank, not \"" + text + "\"";
    return false;
}

EntryMethod EntryMethodOf(const ChipConfig& config) {
    const std::string v = LowerAsciiText(config.fourByteEntry);
    if (v == "b7") {
        return EntryMethod::B7;
    }
    if (v == "wren-b7") {
        return EntryMethod::WriteEnableB7;
    }
    if (v == "bank") {
        return EntryMethod::BankRegister;
    }
    switch (std::uint8_t(config.jedec >> 16)) {
    case kMakerMicron:
        return EntryMethod::WriteEnableB7;
    case kMakerSpansion:
        return EntryMethod::BankRegister;
    default:
        return EntryMethod::B7;
    }
}

bool FourByteAfter(EntryMethod method, const std::uint8_t* bytes, int count, bool writeEnabled,
                   bool fourByte) {
    if (count <= 0) {
        return fourByte;
    }
    switch (bytes[0]) {
    case kSpiEnter4ByteMode:
        return fourByte || method == EntryMethod::B7 ||
               (method == EntryMethod::WriteEnableB7 && writeEnabled);
    case kExit4ByteMode:
        return method == EntryMethod::BankRegister && fourByte;
    case kSpiBankRegisterWrite:
        if (method == EntryMethod::BankRegister && count >= 2) {
            return (bytes[1] & kBankRegisterExtendedAddress) != 0;
        }
        return fourByte;
    default:
        return fourByte;
    }
}

} // namespace vantor::emu
