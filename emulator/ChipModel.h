#pragma once
// What the programmer's firmware does differently for each chip family: the
// answer to the ID read, the erase command, the instructions the host sends
// straight to the chip and how streamed data is programmed. The command
// dispatcher stays the same for every family and asks the chip's model.
#include "emulator/Device.h"
#include "link/Protocol.h"

#include <cstdint>

namespace vantor::emu {

class ChipModel {
public:
    virtual ~ChipModel() = default;
    // Fills the reply to the ID read; the reply arrives zeroed.
    virtual void identify(const Chip& chip, CommandBlock& reply) const = 0;
    // The erase command with the host's argument on a chip matching the
    // setup; returns the time in ns the firmware takes no further command.
    virtual std::int64_t erase(Device& d, std::uint16_t argument, bool benchTiming) const = 0;
    // Instruction bytes the host sends to the chip as one transaction. Only
    // SPI NOR keeps state these change.
    virtual void spiTransaction(Chip& chip, const std::uint8_t* bytes, int count) const;
    // Data streamed for programming at the device's stream address; returns
    // the time in ns the chip takes to program it.
    virtual std::int64_t program(Device& d, const std::uint8_t* data,
                                 std::uint32_t count) const = 0;
};

// The model of the chip family `family` (a ChipFamily code).
const ChipModel& ModelFor(int family);

const ChipModel& SpiNorModel();
const ChipModel& Eeprom24Model();
const ChipModel& Eeprom93Model();
const ChipModel& SpiEepromModel();

// The firmware's ways shared between families.
//
// Writes `count` bytes at the stream address one of the host's pages at a
// time, each page taking `perPageNs`; returns the time taken.
std::int64_t ProgramPages(Device& d, const std::uint8_t* data, std::uint32_t count,
                          std::int64_t perPageNs);
// An EEPROM's write cycle in ns.
std::int64_t WriteCycleNs(const Chip& chip);

// An EEPROM erased and written a page at a time, each page taking a write
// cycle: the 24-series and the SPI EEPROMs.
class PagedEepromModel : public ChipModel {
public:
    // The page at the 16-bit offset is written with FFh.
    std::int64_t erase(Device& d, std::uint16_t argument, bool benchTiming) const override;
    std::int64_t program(Device& d, const std::uint8_t* data, std::uint32_t count) const override;
};

} // namespace vantor::emu
