// 24-series I2C EEPROM: identified by type, erased and written a page at a
// time, each page taking a write cycle.
#include "emulator/ChipModel.h"

namespace vantor::emu {

namespace {

class Eeprom24 final : public PagedEepromModel {
public:
    void identify(const Chip&, CommandBlock& reply) const override { reply[0] = kIdSecondType; }
};

} // namespace

const ChipModel& Eeprom24Model() {
    static const Eeprom24 model;
    return model;
}

} // namespace vantor::emu
