// 25-series SPI NOR flash: answers the JEDEC ID read, erases itself while the
// host polls its status, honours its block protection and switches between 3-
// and 4-byte addresses on the host's instructions.
#include "emulator/ChipModel.h"

#include <algorithm>
#include <chrono>

namespace vantor::emu {

namespace {

constexpr std::uint8_t kExit4ByteMode = 0xE9;

class SpiNor final : public ChipModel {
public:
    void identify(const Chip& chip, CommandBlock& reply) const override {
        reply[0] = kIdJedec;
        reply[1] = std::uint8_t(chip.config().jedec >> 16);
        reply[2] = std::uint8_t(chip.config().jedec >> 8);
        reply[3] = std::uint8_t(chip.config().jedec);
    }

    std::int64_t erase(Device& d, std::uint16_t argument, bool benchTiming) const override {
        if (argument != kFlashChipEraseArgument) {
            return 0;
        }
        Chip& chip = *d.chip;
        chip.eraseAll();
        chip.busyPolls = chip.config().eraseBusyPolls;
        // The flash erases on its own while the host polls its status.
        std::int64_t busyUs = std::int64_t(chip.config().eraseBusyMs) * 1000;
        if (benchTiming) {
            busyUs = std::max(busyUs, chip.config().chipEraseUs());
        }
        if (busyUs > 0) {
            chip.busyUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(busyUs);
        }
        return 0;
    }

    void spiTransaction(Chip& chip, const std::uint8_t* bytes, int count) const override {
        chip.protection.transaction(bytes, count);
        for (int k = 0; k < count; ++k) {
            if (bytes[k] == kSpiEnter4ByteMode) {
                chip.fourByteMode = true;
            } else if (bytes[k] == kExit4ByteMode) {
                chip.fourByteMode = false;
            }
        }
    }

    std::int64_t program(Device& d, const std::uint8_t* data, std::uint32_t count) const override {
        const std::int64_t perPage = std::int64_t(d.chip->config().pageProgramUs) * 1000;
        return ProgramPages(d, data, count, perPage);
    }
};

} // namespace

const ChipModel& SpiNorModel() {
    static const SpiNor model;
    return model;
}

} // namespace vantor::emu
