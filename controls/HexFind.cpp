#include "controls/HexFind.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <string.h>

namespace vantor::hex {

namespace {

int HexDigit(char c) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const char lower = char(std::tolower(static_cast<unsigned char>(c)));
    const char* at = lower != 0 ? std::strchr(kDigits, lower) : nullptr;
    return at != nullptr ? int(at - kDigits) : -1;
}

// First match starting in [begin, end - pattern + 1), memmem doing the work.
std::optional<std::size_t> FirstIn(std::span<const uint8_t> data, std::span<const uint8_t> pattern,
                                   std::size_t begin, std::size_t end) {
    if (end > data.size() || begin >= end || end - begin < pattern.size())
        return std::nullopt;
    const void* hit = ::memmem(data.data() + begin, end - begin, pattern.data(), pattern.size());
    if (hit == nullptr)
        return std::nullopt;
    return std::size_t(static_cast<const uint8_t*>(hit) - data.data());
}

// Last match whose start lies in [begin, lastStart].
std::optional<std::size_t> LastIn(std::span<const uint8_t> data, std::span<const uint8_t> pattern,
                                  std::size_t begin, std::size_t lastStart) {
    if (data.size() < pattern.size())
        return std::nullopt;
    lastStart = std::min(lastStart, data.size() - pattern.size());
    if (begin > lastStart)
        return std::nullopt;
    const uint8_t first = pattern[0];
    std::size_t end = lastStart + 1; // candidates lie in [begin, end)
    while (end > begin) {
        const void* hit = ::memrchr(data.data() + begin, first, end - begin);
        if (hit == nullptr)
            return std::nullopt;
        const std::size_t at = std::size_t(static_cast<const uint8_t*>(hit) - data.data());
        if (std::memcmp(data.data() + at, pattern.data(), pattern.size()) == 0)
            return at;
        end = at;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text) {
    std::vector<uint8_t> out;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (high >= 0)
                return std::nullopt; // half a byte before a separator
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(uint8_t(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0 || out.empty())
        return std::nullopt;
    return out;
}

std::optional<std::size_t> ParseOffset(std::string_view text, bool hex) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (hex) {
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
            text.remove_prefix(2);
        else if (!text.empty() && (text.back() == 'h' || text.back() == 'H'))
            text.remove_suffix(1);
    }
    std::size_t value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, hex ? 16 : 10);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::size_t> FindPattern(std::span<const uint8_t> data,
                                       std::span<const uint8_t> pattern, std::size_t from,
                                       bool forward) {
    if (pattern.empty() || pattern.size() > data.size())
        return std::nullopt;
    from = std::min(from, data.size());
    if (forward) {
        if (auto hit = FirstIn(data, pattern, from, data.size()))
            return hit;
        // Wrapped: matches starting before `from` (they may run past it).
        return FirstIn(data, pattern, 0, std::min(data.size(), from + pattern.size() - 1));
    }
    if (from > 0) {
        if (auto hit = LastIn(data, pattern, 0, from - 1))
            return hit;
    }
    return LastIn(data, pattern, from, data.size());
}

bool FindNext(HexEditorCore& core, std::span<const uint8_t> pattern, bool forward) {
    const std::span<const uint8_t> data(core.data(), core.size());
    const std::size_t here = core.hasSelection() ? core.selection().begin : core.caret().pos;
    // Forward skips the hit under the caret so F3 moves on; backward looks
    // before it anyway.
    const std::size_t from = forward && core.hasSelection() ? here + 1 : here;
    const auto hit = FindPattern(data, pattern, from, forward);
    if (!hit)
        return false;
    core.select(*hit, *hit + pattern.size() - 1, core.caret().charColumn);
    return true;
}

bool GoToOffset(HexEditorCore& core, std::size_t offset) {
    if (offset >= core.size())
        return false;
    core.clearSelection();
    core.moveCaret({offset, 0, core.caret().charColumn});
    core.ensureCaretVisible();
    return true;
}

} // namespace vantor::hex
