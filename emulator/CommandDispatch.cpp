#include "emulator/ChipModel.h"
#include "emulator/Emulator.h"

#include <algorithm>
#include <cstring>

namespace vantor::emu {

bool Emulator::chipMatchesSetup(const Device& d) const {
    if (!d.chip || !d.setupValid) {
        return false;
    }
    const int chipFamily = d.chip->config().family;
    const int asked = d.setup.family;
    // 25- and 95-series EEPROMs speak the same SPI commands.
    const auto spiEeprom = [](int f) {
        return f == ChipFamily::Eeprom25 || f == ChipFamily::Eeprom95;
    };
    return chipFamily == asked || (spiEeprom(chipFamily) && spiEeprom(asked));
}

std::int64_t Emulator::command(Device& d, const std::uint8_t* block, int size) {
    CommandBlock b{};
    std::memcpy(b.data(), block, std::size_t(std::min<int>(size, int(b.size()))));
    const bool be = d.config.bigEndianVariant;
    // Any command ends the data stream before it.
    d.streaming = false;
    d.replyPending = false;
    d.pendingHighByte = -1;
    Chip* chip = d.chip.get();
    std::int64_t cycles = 0;
    switch (b[block::kOpcode]) {
    case CMD_CHIP_SETUP:
        d.eraseBase = 0;
        d.lastEraseArgument = -1;
        d.setup = DecodeChipParameters(b.data(), be);
        d.setupValid = true;
        d.reply = b;
        d.replyPending = true;
        break;
    case CMD_READ_ID:
        d.reply.fill(0);
        if (chip != nullptr) {
            ModelFor(chip->config().family).identify(*chip, d.reply);
        }
        d.replyPending = true;
        break;
    case CMD_READ_STATUS: {
        bool busy = false;
        if (chip != nullptr) {
            if (chip->busyPolls > 0) {
                --chip->busyPolls;
                busy = true;
            }
            if (std::chrono::steady_clock::now() < chip->busyUntil) {
                busy = true;
            }
        }
        d.reply.fill(0);
        d.reply[0] = busy ? kStatusBusy : 0;
        d.reply[1] = CMD_READ_STATUS;
        d.replyPending = true;
        break;
    }
    case CMD_SET_ADDRESS:
        d.streamAddress = Get32(b.data(), block::kAddress, be);
        d.streaming = true;
        d.reply = b;
        d.replyPending = true;
        break;
    case CMD_ERASE:
        if (chipMatchesSetup(d)) {
            const std::uint16_t argument = Get16(b.data(), block::kEraseArgument, be);
            cycles = ModelFor(chip->config().family).erase(d, argument, Current.benchTiming);
        }
        break;
    case CMD_SPI_COMMAND: {
        const int count = std::min<int>(b[block::kSpiLength], 64 - int(block::kSpiBytes));
        if (chip != nullptr && b[2] == kSpiCommandTarget) {
            ModelFor(chip->config().family).spiTransaction(*chip, &b[block::kSpiBytes], count);
        }
        d.reply = b;
        d.replyPending = true;
        break;
    }
    case CMD_FINISH:
        // The socket is switched off: the chip forgets its address mode.
        d.setupValid = false;
        d.eraseBase = 0;
        d.lastEraseArgument = -1;
        if (chip != nullptr) {
            chip->fourByteMode = false;
            chip->save();
        }
        break;
    default:
        break;
    }
    return cycles;
}

std::int64_t Emulator::programStream(Device& d, const std::uint8_t* data, int size) {
    // Each page write holds the stream until the chip has programmed it.
    return ModelFor(d.chip->config().family).program(d, data, std::uint32_t(size));
}

} // namespace vantor::emu
