#include "emulator/ChipModel.h"

#include <algorithm>

namespace vantor::emu {

void ChipModel::spiTransaction(Chip&, const std::uint8_t*, int) const {}

const ChipModel& ModelFor(int family) {
    switch (family) {
    case ChipFamily::SpiFlash25:
        return SpiNorModel();
    case ChipFamily::Eeprom24:
        return Eeprom24Model();
    case ChipFamily::Eeprom93:
        return Eeprom93Model();
    default:
        return SpiEepromModel();
    }
}

std::int64_t ProgramPages(Device& d, const std::uint8_t* data, std::uint32_t count,
                          std::int64_t perPageNs) {
    Chip& chip = *d.chip;
    const std::uint32_t page = d.setup.page != 0 ? d.setup.page : chip.config().page;
    std::int64_t cycles = 0;
    while (count > 0) {
        const std::uint32_t room = page - d.streamAddress % page;
        const std::uint32_t run = std::min(room, count);
        chip.programPage(d.streamAddress, data, run);
        cycles += perPageNs;
        d.streamAddress += run;
        data += run;
        count -= run;
    }
    return cycles;
}

std::int64_t WriteCycleNs(const Chip& chip) {
    return std::int64_t(chip.config().writeCycleMs) * 1000000;
}

std::int64_t PagedEepromModel::erase(Device& d, std::uint16_t argument, bool) const {
    if (d.lastEraseArgument >= 0 && argument <= d.lastEraseArgument) {
        d.eraseBase += 0x10000;
    }
    d.lastEraseArgument = argument;
    d.chip->eraseRange(d.eraseBase + argument, d.setup.page != 0 ? d.setup.page : 1);
    return WriteCycleNs(*d.chip); // the firmware takes no command until the page is written
}

std::int64_t PagedEepromModel::program(Device& d, const std::uint8_t* data,
                                       std::uint32_t count) const {
    return ProgramPages(d, data, count, WriteCycleNs(*d.chip));
}

} // namespace vantor::emu
