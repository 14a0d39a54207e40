#pragma once
// Row offset labels described by a short format text, read left to right:
//   [unit "%"] [width "!"] radix ":" prefix ["|" suffix]
// unit:  "r" one unit per row, "c" one per column, or a hex count of bytes;
//        absent: one unit is one byte
// width: "-" automatic (zero-padded to the digits of the view's total size in
//        whole rows), or a hex count of digits; absent: automatic
// radix: hex number 02 to 10
// "-!10:0x|" is therefore: automatic width, radix 16, prefix "0x", no suffix.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::hex {

class OffsetFormat {
public:
    enum class Unit { Bytes, Row, Column };

    static std::optional<OffsetFormat> Parse(std::string_view text);

    // How many digits every label of a view of totalBytes has.
    int digits(uint64_t totalBytes, int bytesPerRow, int bytesPerColumn) const;
    // The label of a byte offset (upper case digits, zero-padded).
    std::string format(uint64_t offset, uint64_t totalBytes, int bytesPerRow,
                       int bytesPerColumn) const;
    // Characters in a label, prefix and suffix included.
    int labelLength(uint64_t totalBytes, int bytesPerRow, int bytesPerColumn) const;

    Unit unit() const { return unit_; }
    uint32_t unitBytes() const { return unitBytes_; }
    int width() const { return width_; } // 0: automatic
    int radix() const { return radix_; }
    const std::string& prefix() const { return prefix_; }
    const std::string& suffix() const { return suffix_; }

private:
    uint64_t toUnits(uint64_t bytes, int bytesPerRow, int bytesPerColumn) const;

    Unit unit_ = Unit::Bytes;
    uint32_t unitBytes_ = 1;
    int width_ = 0;
    int radix_ = 16;
    std::string prefix_;
    std::string suffix_;
};

} // namespace vantor::hex
