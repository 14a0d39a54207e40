#pragma once
// A per-chip number written into the image before it is programmed: where
// it goes, how many bytes it takes and how it is spelled there. Binary
// fields hold the number little- or big-endian; text fields hold it in
// decimal or upper-case hexadecimal digits, zero-padded to the width.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantor {

struct SerialField {
    enum class Format { LittleEndian, BigEndian, Decimal, Hex };

    std::uint32_t address = 0;
    unsigned width = 0;
    Format format = Format::LittleEndian;

    // "ADDR:WIDTH:FORMAT": ADDR decimal or 0x hex, FORMAT le, be, dec or hex.
    // Binary widths are 1 to 8 bytes, decimal 1 to 19 digits, hex 1 to 16.
    // nullopt with `why` set for anything else.
    static std::optional<SerialField> parse(const std::string& text, std::string* why = nullptr);

    // The spelling every process uses for the same field, so that they draw
    // from one series: "0x00001000:4:be".
    std::string key() const;

    // The largest number the field can hold. Numbers are kept in signed
    // 64-bit columns, so this never exceeds 2^63 - 2 (one below the ceiling
    // that marks a spent series).
    std::uint64_t maximum() const;

    // Writes `value` (at most maximum()) into `bytes`, width() bytes.
    void encode(std::uint64_t value, std::uint8_t* bytes) const;
    // The number the field's bytes spell; nullopt when a text field holds a
    // byte that is not one of its digits.
    std::optional<std::uint64_t> decode(const std::uint8_t* bytes) const;
    // The number as it appears in reports: decimal, or "0x..." for hex and
    // binary fields.
    std::string show(std::uint64_t value) const;

    std::uint64_t end() const { return std::uint64_t(address) + width; }
};

// The numbers a line draws: the first, the step between two chips.
struct SerialSeries {
    SerialField field;
    std::uint64_t start = 1;
    std::uint64_t step = 1;
};

// "N" decimal or "0xN" hex, up to 2^63 - 2; nullopt otherwise.
std::optional<std::uint64_t> ParseSerialNumber(const std::string& text);

} // namespace vantor
