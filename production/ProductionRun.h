#pragma once
// One chip operation on a production line, as the window and vantor-cli
// both run it: the log row opened and the chip's serial number placed in
// the image before the chip is touched, the row completed after.
#include "link/ChipCommands.h"
#include "production/LogStore.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace vantor {

class ChipEngine;
class UsbTransport;

// What every row of `command` starts with: this host, the chip by name and
// ID, this program's version.
OperationStart StartOfCommand(const std::string& command, const std::string& chipName,
                              std::uint32_t chipId);
// What every row ends with: the result word, where a transfer failed or a
// verify first differed, and the programmer that was opened.
OperationEnd EndOfCommand(CommandResult result, const ChipEngine& engine, const UsbTransport& link);

// What the operation does with a serial field.
enum class SerialUse {
    None,
    Write, // draws the chip's number and places it in the image
    Check, // the chip holds its own number: a verify takes it from the chip
};

// The image an operation sends to or compares with the chip.
struct ChipImage {
    std::uint8_t* data;
    std::int32_t& usedLength;
    std::uint32_t chipSize;
    bool programmed; // the operation programs it: its CRC-32 goes in the row
};

class ProductionRun {
public:
    explicit ProductionRun(LogStore& store) : Store(store) {}

    // Before the chip is touched. With SerialUse::Write the next number of
    // `start.serial` is reserved with the row and written into the image
    // (its used length grows to cover the field); the CRC-32 of a
    // programmed image over its used length (at most the chip) is kept for
    // the row. False, with why() saying so, when the operation must not
    // start: a field outside the chip, a store that refuses the row or has
    // no number left.
    bool start(OperationStart start, SerialUse use, ChipImage image);
    // After the operation: completes the row with the time since start().
    // False with why() set when the store did not take it (the row then
    // still says "started").
    bool finish(OperationEnd end);

    std::optional<std::uint64_t> serial() const { return Serial; }
    bool started() const { return Id.has_value(); }
    const std::string& why() const { return Why; }

private:
    LogStore& Store;
    std::optional<std::int64_t> Id;
    std::optional<std::uint64_t> Serial;
    std::optional<std::uint32_t> ImageCrc;
    std::chrono::steady_clock::time_point Began;
    std::string Why;
};

// Says why `field` cannot be used on a chip of `chipSize` bytes; empty when
// it can.
std::string SerialFieldRefusal(const SerialField& field, std::uint32_t chipSize);

// A verify "with the chip's own serial number": the bytes the chip holds
// in the field are taken into the image before each chunk is compared, so
// the field never differs, and the number they spell is read afterwards.
class SerialReadBack {
public:
    SerialReadBack(const SerialField& field, std::uint8_t* image) : Field(field), Image(image) {}
    // The chip's `count` bytes from `address`, before they are compared.
    void take(std::uint32_t address, const std::uint8_t* chip, std::uint32_t count);
    // The number the chip holds; nullopt when the field was not read whole or
    // a text field holds something other than its digits.
    std::optional<std::uint64_t> value() const;

private:
    SerialField Field;
    std::uint8_t* Image;
    std::uint64_t Taken = 0;
};

} // namespace vantor
