#include "buffer/BufferFill.h"

#include "buffer/RecordFile.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>

namespace vantor {

uint32_t FillSeedNow() {
    return static_cast<uint32_t>(std::time(nullptr));
}

const std::string& FillRangeMessage(int languageIndex) {
    return Message(Own::FillRangeInvalid, languageIndex);
}

std::optional<FillPlan> PrepareFill(const FillFields& fields) {
    // Every field is converted before anything is filled, whatever the kind.
    const std::string* texts[] = {&fields.byteText, &fields.wordText, &fields.startText,
                                  &fields.endText};
    int64_t values[4];
    for (int i = 0; i < 4; ++i) {
        std::string prefixed = "0x" + *texts[i];
        auto value = ParseIntegerValue(prefixed);
        if (!value) {
            CurrentPrompts().showError(InvalidIntegerMessage(prefixed));
            return std::nullopt;
        }
        values[i] = *value;
    }
    // Anything at or past the buffer's end, or a range running backwards,
    // would fill memory that is not the chip image.
    if (values[3] < values[2] || values[3] >= static_cast<int64_t>(DataBuffer::size())) {
        CurrentPrompts().showError(FillRangeMessage(CurrentLanguage()));
        return std::nullopt;
    }
    FillPlan plan;
    plan.kind = fields.kind;
    plan.byteValue = static_cast<uint8_t>(values[0] & 0xFF);
    plan.wordValue = static_cast<uint16_t>(values[1] & 0xFFFF);
    plan.start = static_cast<uint32_t>(values[2]);
    plan.end = static_cast<uint32_t>(values[3]);
    return plan;
}

void ApplyFill(DataBuffer& buffer, const FillPlan& plan, uint32_t seed) {
    if (plan.end < plan.start || plan.end >= DataBuffer::size())
        return;
    uint8_t* data = buffer.data();
    const uint32_t length = plan.end - plan.start + 1;
    switch (plan.kind) {
    case FillKind::Byte:
        std::memset(data + plan.start, plan.byteValue, length);
        break;
    case FillKind::Word: {
        uint8_t* p = data + (plan.start & ~1u);
        const uint8_t low = static_cast<uint8_t>(plan.wordValue & 0xFF);
        const uint8_t high = static_cast<uint8_t>(plan.wordValue >> 8);
        for (uint32_t i = 0, words = length / 2; i < words; ++i) {
            *p++ = low;
            *p++ = high;
        }
        break;
    }
    case FillKind::Random: {
        FillRandom random(seed);
        for (uint32_t a = plan.start; a <= plan.end; ++a)
            data[a] = static_cast<uint8_t>(random.Next());
        break;
    }
    }
    // A fill inside a longer image edits it; it never cuts off what follows.
    buffer.UsedLength = std::max(buffer.UsedLength, static_cast<int32_t>(plan.end + 1));
}

bool RunFill(DataBuffer& buffer, const FillFields& fields, uint32_t seed,
             const HexViewLoader& loadHexView) {
    auto plan = PrepareFill(fields);
    if (!plan)
        return false;
    ApplyFill(buffer, *plan, seed);
    if (loadHexView)
        loadHexView(buffer.data(), static_cast<size_t>(buffer.UsedLength));
    return true;
}

} // namespace vantor
