#include "controls/HexDocument.h"

#include "controls/HexMemory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vantor::hex {

ByteStore::~ByteStore() {
    ReleaseBlock(data_, capacity_);
}

void ByteStore::reserve(std::size_t n) {
    if (n <= capacity_)
        return;
    // Grow by an eighth so a run of inserts does not realloc per byte, yet
    // a 64 MiB image never carries more than 8 MiB of slack.
    const std::size_t grown = capacity_ + capacity_ / 8 + 4096;
    const std::size_t cap = BlockSize(std::max(n, std::min(grown, MaxContentSize)));
    data_ = GrowBlock(data_, capacity_, cap);
    capacity_ = cap;
}

uint8_t* ByteStore::resetForLoad(std::size_t n) {
    // Keep a block that fits without more than an eighth of slack: a reload
    // of the same size then touches no fresh pages.
    if (n > capacity_ || capacity_ - n > n / 8 + LargeBlock) {
        ReleaseBlock(data_, capacity_);
        data_ = nullptr;
        capacity_ = 0;
        size_ = 0;
        data_ = AllocateBlock(BlockSize(n));
        capacity_ = BlockSize(n);
    }
    size_ = n;
    return data_;
}

void ByteStore::truncate(std::size_t n) {
    size_ = std::min(size_, n);
}

void ByteStore::replace(std::size_t pos, std::size_t oldLen, std::span<const uint8_t> bytes) {
    const std::size_t newSize = size_ - oldLen + bytes.size();
    reserve(newSize);
    const std::size_t tail = size_ - pos - oldLen;
    if (bytes.size() != oldLen && tail)
        std::memmove(data_ + pos + bytes.size(), data_ + pos + oldLen, tail);
    if (!bytes.empty())
        std::memcpy(data_ + pos, bytes.data(), bytes.size());
    size_ = newSize;
}

void ByteStore::clear() {
    ReleaseBlock(data_, capacity_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

std::size_t MarkSet::firstEndingAfter(std::size_t pos) const {
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), pos,
                               [](std::size_t p, const Range& r) { return p < r.end; });
    return static_cast<std::size_t>(it - ranges_.begin());
}

bool MarkSet::contains(std::size_t pos) const {
    std::size_t i = firstEndingAfter(pos);
    return i < ranges_.size() && ranges_[i].begin <= pos;
}

void MarkSet::add(Range r) {
    if (r.begin >= r.end)
        return;
    // First range that overlaps or touches r.
    auto first = std::lower_bound(ranges_.begin(), ranges_.end(), r.begin,
                                  [](const Range& x, std::size_t p) { return x.end < p; });
    auto last = first;
    while (last != ranges_.end() && last->begin <= r.end) {
        r.begin = std::min(r.begin, last->begin);
        r.end = std::max(r.end, last->end);
        ++last;
    }
    if (first == last) {
        ranges_.insert(first, r);
    } else {
        *first = r;
        ranges_.erase(first + 1, last);
    }
}

void MarkSet::remove(Range r) {
    if (r.begin >= r.end)
        return;
    std::size_t i = firstEndingAfter(r.begin);
    if (i < ranges_.size() && ranges_[i].begin < r.begin && ranges_[i].end > r.end) {
        // r lies strictly inside one range: split it.
        Range right{r.end, ranges_[i].end};
        ranges_[i].end = r.begin;
        ranges_.insert(ranges_.begin() + static_cast<std::ptrdiff_t>(i) + 1, right);
        return;
    }
    if (i < ranges_.size() && ranges_[i].begin < r.begin) {
        ranges_[i].end = r.begin;
        ++i;
    }
    std::size_t j = i;
    while (j < ranges_.size() && ranges_[j].end <= r.end)
        ++j;
    if (j < ranges_.size() && ranges_[j].begin < r.end)
        ranges_[j].begin = r.end;
    ranges_.erase(ranges_.begin() + static_cast<std::ptrdiff_t>(i),
                  ranges_.begin() + static_cast<std::ptrdiff_t>(j));
}

std::vector<Range> MarkSet::extract(Range r) const {
    std::vector<Range> out;
    for (std::size_t i = firstEndingAfter(r.begin); i < ranges_.size() && ranges_[i].begin < r.end;
         ++i) {
        std::size_t b = std::max(ranges_[i].begin, r.begin);
        std::size_t e = std::min(ranges_[i].end, r.end);
        out.push_back({b - r.begin, e - r.begin});
    }
    return out;
}

void MarkSet::replace(std::size_t pos, std::size_t oldLen, std::size_t newLen,
                      const std::vector<Range>& newMarks) {
    if (ranges_.empty() && newMarks.empty())
        return;
    const std::size_t end = pos + oldLen;
    auto moved = [&](std::size_t x) { return x - oldLen + newLen; }; // for x >= end
    std::vector<Range> out;
    out.reserve(ranges_.size() + newMarks.size() + 1);
    auto push = [&out](Range r) {
        if (r.begin >= r.end)
            return;
        if (!out.empty() && out.back().end >= r.begin)
            out.back().end = std::max(out.back().end, r.end);
        else
            out.push_back(r);
    };
    std::size_t i = 0;
    for (; i < ranges_.size() && ranges_[i].begin < pos; ++i)
        push({ranges_[i].begin, std::min(ranges_[i].end, pos)});
    // Only the last range that starts before pos can reach past the replaced bytes.
    Range tail{};
    if (i > 0 && ranges_[i - 1].end > end)
        tail = {moved(end), moved(ranges_[i - 1].end)};
    for (const Range& m : newMarks)
        push({pos + m.begin, pos + m.end});
    push(tail);
    for (; i < ranges_.size(); ++i) {
        if (ranges_[i].end <= end)
            continue;
        push({moved(std::max(ranges_[i].begin, end)), moved(ranges_[i].end)});
    }
    ranges_.swap(out);
}

} // namespace vantor::hex
