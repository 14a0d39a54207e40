// 93-series Microwire EEPROM: identified by type, erased whole (ERAL) and, in
// 16-bit organisation, written in whole words.
#include "emulator/ChipModel.h"

namespace vantor::emu {

namespace {

class Eeprom93 final : public ChipModel {
public:
    void identify(const Chip&, CommandBlock& reply) const override { reply[0] = kIdThirdType; }

    std::int64_t erase(Device& d, std::uint16_t, bool) const override {
        d.chip->eraseAll(); // ERAL, whatever the argument
        return WriteCycleNs(*d.chip);
    }

    std::int64_t program(Device& d, const std::uint8_t* data, std::uint32_t count) const override {
        Chip& chip = *d.chip;
        const std::int64_t perPage = WriteCycleNs(chip);
        std::int64_t cycles = 0;
        if (chip.config().organisation == 16) {
            // 16-bit organisation stores whole words: a lone byte waits for its pair.
            if (d.pendingHighByte >= 0 && count > 0) {
                const std::uint8_t word[2] = {std::uint8_t(d.pendingHighByte), data[0]};
                chip.programPage(d.streamAddress, word, 2);
                cycles += perPage;
                d.streamAddress += 2;
                d.pendingHighByte = -1;
                ++data;
                --count;
            }
            if (count % 2 != 0) {
                d.pendingHighByte = data[count - 1];
                --count;
            }
        }
        return cycles + ProgramPages(d, data, count, perPage);
    }
};

} // namespace

const ChipModel& Eeprom93Model() {
    static const Eeprom93 model;
    return model;
}

} // namespace vantor::emu
