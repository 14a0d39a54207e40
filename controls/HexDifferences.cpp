#include "controls/HexDifferences.h"

#include <bit>
#include <cstring>

namespace vantor::hex {

namespace {
constexpr std::size_t kBits = 64;
} // namespace

void DifferenceMap::reset(std::size_t size) {
    Words.assign((size + kBits - 1) / kBits, 0);
    Size = size;
    Count = 0;
}

void DifferenceMap::mark(std::size_t pos) {
    if (pos >= Size)
        return;
    std::uint64_t& word = Words[pos / kBits];
    const std::uint64_t bit = std::uint64_t{1} << (pos % kBits);
    if ((word & bit) == 0) {
        word |= bit;
        ++Count;
    }
}

bool DifferenceMap::marked(std::size_t pos) const {
    return pos < Size && (Words[pos / kBits] >> (pos % kBits) & 1) != 0;
}

std::optional<std::size_t> DifferenceMap::firstFrom(std::size_t pos) const {
    if (pos >= Size)
        return std::nullopt;
    std::size_t w = pos / kBits;
    std::uint64_t word = Words[w] & (~std::uint64_t{0} << (pos % kBits));
    for (;;) {
        if (word != 0)
            return w * kBits + std::size_t(std::countr_zero(word));
        if (++w == Words.size())
            return std::nullopt;
        word = Words[w];
    }
}

std::optional<std::size_t> DifferenceMap::lastBefore(std::size_t end) const {
    end = end < Size ? end : Size;
    if (end == 0)
        return std::nullopt;
    std::size_t w = (end - 1) / kBits;
    const unsigned keep = unsigned((end - 1) % kBits) + 1;
    std::uint64_t word =
        Words[w] & (keep == kBits ? ~std::uint64_t{0} : (std::uint64_t{1} << keep) - 1);
    for (;;) {
        if (word != 0)
            return w * kBits + kBits - 1 - std::size_t(std::countl_zero(word));
        if (w-- == 0)
            return std::nullopt;
        word = Words[w];
    }
}

std::optional<std::size_t> DifferenceMap::next(std::size_t pos, bool forward) const {
    if (Count == 0)
        return std::nullopt;
    if (forward) {
        auto hit = firstFrom(pos + 1);
        return hit ? hit : firstFrom(0);
    }
    auto hit = lastBefore(pos);
    return hit ? hit : lastBefore(Size);
}

void MarkDifferences(DifferenceMap& map, const std::uint8_t* a, const std::uint8_t* b,
                     std::size_t count) {
    // Equal blocks are the common case: compare them whole first.
    constexpr std::size_t kBlock = 4096;
    for (std::size_t at = 0; at < count; at += kBlock) {
        const std::size_t n = count - at < kBlock ? count - at : kBlock;
        if (std::memcmp(a + at, b + at, n) == 0)
            continue;
        for (std::size_t i = at; i < at + n; ++i)
            if (a[i] != b[i])
                map.mark(i);
    }
}

} // namespace vantor::hex
