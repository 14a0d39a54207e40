// 25- and 95-series SPI EEPROMs: they speak the same commands, do not answer
// the JEDEC ID read, and are erased and written a page at a time, each page
// taking a write cycle.
#include "emulator/ChipModel.h"

namespace vantor::emu {

namespace {

class SpiEeprom final : public PagedEepromModel {
public:
    void identify(const Chip&, CommandBlock& reply) const override {
        reply[0] = kIdJedec;
        reply[1] = reply[2] = reply[3] = 0xFF; // nobody drives the data line
    }
};

} // namespace

const ChipModel& SpiEepromModel() {
    static const SpiEeprom model;
    return model;
}

} // namespace vantor::emu
