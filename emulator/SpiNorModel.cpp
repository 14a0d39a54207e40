// 25-series SPI NOR flash: answers the JEDEC ID read, erases itself while the
// host polls its status, honours its block protection and switches between 3-
// and 4-byte addresses the way its maker does (emulator/AddressMode.h). The
// programmer sends 4-byte addresses to a chip set up above 16 MiB; a chip
// still in 3-byte mode misreads them, as silicon does.
#include "emulator/AddressMode.h"
#include "emulator/ChipModel.h"

#include <algorithm>
#include <chrono>

namespace vantor::emu {

namespace {

// The programmer sends 4-byte addresses, the chip expects 3.
bool Misaddressed(const Device& d) {
    return NeedsFourByteMode(d.setup.size) && !d.chip->fourByteMode;
}

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
        // The write enable latch as the instruction finds it: a write
        // enable sent before under its own chip select.
        const bool writeEnabled = chip.protection.writeEnabled();
        chip.protection.transaction(bytes, count);
        chip.fourByteMode = FourByteAfter(EntryMethodOf(chip.config()), bytes, count, writeEnabled,
                                          chip.fourByteMode);
    }

    void read(const Device& d, std::uint8_t* out, std::uint32_t count) const override {
        std::uint32_t address = d.streamAddress;
        if (Misaddressed(d)) {
            address = MisreadStart(d.streamStart) + (d.streamAddress - d.streamStart);
        }
        d.chip->read(address, out, count);
    }

    std::int64_t program(Device& d, const std::uint8_t* data, std::uint32_t count) const override {
        const std::int64_t perPage = std::int64_t(d.chip->config().pageProgramUs) * 1000;
        if (!Misaddressed(d)) {
            return ProgramPages(d, data, count, perPage);
        }
        // Each page program's fourth address byte lands in front of its data,
        // in the page the first three name.
        Chip& chip = *d.chip;
        const std::uint32_t page = d.setup.page != 0 ? d.setup.page : chip.config().page;
        std::int64_t cycles = 0;
        while (count > 0) {
            const std::uint32_t run = std::min(page - d.streamAddress % page, count);
            const std::uint32_t at = MisprogramStart(d.streamAddress);
            const std::uint8_t lowByte = std::uint8_t(d.streamAddress);
            chip.programPage(at, &lowByte, 1);
            chip.programPage(at - at % page + (at % page + 1) % page, data, run);
            cycles += perPage;
            d.streamAddress += run;
            data += run;
            count -= run;
        }
        return cycles;
    }
};

} // namespace

const ChipModel& SpiNorModel() {
    static const SpiNor model;
    return model;
}

} // namespace vantor::emu
