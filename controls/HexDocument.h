#pragma once
// The bytes a hex pane edits and the marks of the bytes changed in place.
// Built for chip images of up to 64 MiB: one contiguous array (no per-byte
// objects) and the marks as a sorted list of ranges, so a painter can find
// the marks of the visible rows by binary search.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantor::hex {

// Nothing may grow past this; offsets stay below 2^31 everywhere.
inline constexpr std::size_t MaxContentSize = 0x7FFF0000;

// A half-open byte range [begin, end).
struct Range {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t size() const { return end - begin; }
    bool operator==(const Range&) const = default;
};

// One malloc'd block, grown with realloc so that large blocks move by
// remapping pages rather than by copying them. Loading reuses the block when
// it fits and is not much larger than needed.
class ByteStore {
public:
    ByteStore() = default;
    ~ByteStore();
    ByteStore(const ByteStore&) = delete;
    ByteStore& operator=(const ByteStore&) = delete;

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    const uint8_t* data() const { return data_; }
    uint8_t* data() { return data_; }
    uint8_t operator[](std::size_t i) const { return data_[i]; }
    uint8_t& operator[](std::size_t i) { return data_[i]; }

    // Makes the content n bytes long and returns them uninitialised for the
    // caller to fill. Throws std::bad_alloc when memory is short.
    uint8_t* resetForLoad(std::size_t n);
    // Shrinks the content to n bytes (after a short read).
    void truncate(std::size_t n);
    // Replaces bytes [pos, pos + oldLen) with the given bytes.
    void replace(std::size_t pos, std::size_t oldLen, std::span<const uint8_t> bytes);
    void clear();

private:
    void reserve(std::size_t n);

    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The set of marked byte positions as sorted, disjoint, non-adjacent ranges.
class MarkSet {
public:
    bool empty() const { return ranges_.empty(); }
    const std::vector<Range>& ranges() const { return ranges_; }
    bool contains(std::size_t pos) const;
    // Index of the first range that ends after pos (ranges_.size() if none).
    std::size_t firstEndingAfter(std::size_t pos) const;
    void add(Range r);
    void remove(Range r);
    void clear() { ranges_.clear(); }
    // The marks inside r, relative to r.begin.
    std::vector<Range> extract(Range r) const;
    // Follows a replacement of [pos, pos + oldLen) by newLen bytes: the marks
    // of the replaced bytes go, the marks after them move with their bytes,
    // and the given marks (relative to pos) are set on the new bytes.
    void replace(std::size_t pos, std::size_t oldLen, std::size_t newLen,
                 const std::vector<Range>& newMarks);

private:
    std::vector<Range> ranges_;
};

} // namespace vantor::hex
