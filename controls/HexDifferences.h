#pragma once
// Bytes of the hex pane that differ from another image (the chip after a
// verify, a file after a compare). One bit per byte, so a 64 MiB image costs
// 8 MiB however many bytes differ, and stepping to the next difference skips
// 64 equal bytes at a time.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantor::hex {

class DifferenceMap {
public:
    // Covers `size` bytes, none marked.
    void reset(std::size_t size);
    // Marks byte `pos`; a position past the size is ignored.
    void mark(std::size_t pos);
    bool marked(std::size_t pos) const;
    std::size_t count() const { return Count; }
    std::size_t size() const { return Size; }
    // The first marked byte after `pos` (forward) or before it (backward),
    // wrapping round the ends; nothing when no byte is marked.
    std::optional<std::size_t> next(std::size_t pos, bool forward) const;

private:
    std::optional<std::size_t> firstFrom(std::size_t pos) const;
    std::optional<std::size_t> lastBefore(std::size_t end) const;

    std::vector<std::uint64_t> Words;
    std::size_t Size = 0;
    std::size_t Count = 0;
};

// Marks every byte of the first `count` where `a` and `b` differ.
void MarkDifferences(DifferenceMap& map, const std::uint8_t* a, const std::uint8_t* b,
                     std::size_t count);

} // namespace vantor::hex
