#pragma once
// Filling a range of the chip image with a constant byte, a constant 16-bit
// word or pseudo-random bytes, and the integer rule every typed number is
// read with.
#include "buffer/DataBuffer.h"
#include "core/IntegerValue.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

// The fill's generator: state = state * 22695477 + 1 (mod 2^32); each draw
// yields bits 16 to 30 of the new state. Seeding makes one draw it discards.
class FillRandom {
public:
    explicit FillRandom(uint32_t seed) : state_(seed) { Next(); }
    uint32_t Next() {
        state_ = state_ * 22695477u + 1u;
        return (state_ >> 16) & 0x7FFF;
    }

private:
    uint32_t state_;
};

// The current time in whole seconds: the random fill's seed.
uint32_t FillSeedNow();

enum class FillKind { Byte, Word, Random };

// The dialog's fields as typed (hex digits without prefix).
struct FillFields {
    FillKind kind = FillKind::Byte;
    std::string byteText = "FF";
    std::string wordText = "FFFF";
    std::string startText = "00000";
    std::string endText = "FFFF";
};

struct FillPlan {
    FillKind kind = FillKind::Byte;
    uint8_t byteValue = 0xFF;
    uint16_t wordValue = 0xFFFF;
    uint32_t start = 0;
    uint32_t end = 0; // inclusive
};

// Converts all four fields whatever the kind, each as "0x" + text, and
// checks the range: start <= end < 64 MiB. On failure shows the error and
// returns nothing.
std::optional<FillPlan> PrepareFill(const FillFields& fields);

// Writes the plan into the buffer; UsedLength becomes end + 1 when that is
// longer than what the buffer held, else stays. A word
// fill starts at the start address rounded down to even and writes
// (end - start + 1) / 2 words, low byte first.
void ApplyFill(DataBuffer& buffer, const FillPlan& plan, uint32_t seed);

// Shows bytes 0 to count - 1 of the buffer in the hex pane.
using HexViewLoader = std::function<void(const uint8_t* data, size_t count)>;

// The whole OK step: prepare, fill with `seed`, set UsedLength, show the
// used bytes in the pane. False (nothing changed) when a field or the range
// was refused.
bool RunFill(DataBuffer& buffer, const FillFields& fields, uint32_t seed,
             const HexViewLoader& loadHexView);

// The refusal text of a range outside the buffer, in `languageIndex`.
const std::string& FillRangeMessage(int languageIndex);

} // namespace vantor
