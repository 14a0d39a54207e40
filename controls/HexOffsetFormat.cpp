#include "controls/HexOffsetFormat.h"

namespace vantor::hex {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a hex number at pos that is followed by the terminator; on success
// returns the value and moves pos past the terminator.
std::optional<uint32_t> readNumber(std::string_view text, std::size_t& pos, char terminator) {
    std::size_t i = pos;
    uint32_t value = 0;
    while (i < text.size() && hexValue(text[i]) >= 0) {
        if (i - pos >= 8)
            return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(hexValue(text[i]));
        ++i;
    }
    if (i == pos || i >= text.size() || text[i] != terminator)
        return std::nullopt;
    pos = i + 1;
    return value;
}

} // namespace

std::optional<OffsetFormat> OffsetFormat::Parse(std::string_view text) {
    OffsetFormat f;
    std::size_t pos = 0;
    if (text.substr(0, 2) == "r%" || text.substr(0, 2) == "R%") {
        f.unit_ = Unit::Row;
        pos = 2;
    } else if (text.substr(0, 2) == "c%" || text.substr(0, 2) == "C%") {
        f.unit_ = Unit::Column;
        pos = 2;
    } else if (auto n = readNumber(text, pos, '%')) {
        if (*n == 0)
            return std::nullopt;
        f.unitBytes_ = *n;
    }
    if (text.substr(pos, 2) == "-!") {
        pos += 2;
    } else if (auto w = readNumber(text, pos, '!')) {
        if (*w == 0 || *w > 64)
            return std::nullopt;
        f.width_ = static_cast<int>(*w);
    }
    auto radix = readNumber(text, pos, ':');
    if (!radix || *radix < 2 || *radix > 16)
        return std::nullopt;
    f.radix_ = static_cast<int>(*radix);
    std::string_view rest = text.substr(pos);
    std::size_t bar = rest.find('|');
    f.prefix_ = std::string(rest.substr(0, bar));
    if (bar != std::string_view::npos)
        f.suffix_ = std::string(rest.substr(bar + 1));
    return f;
}

uint64_t OffsetFormat::toUnits(uint64_t bytes, int bytesPerRow, int bytesPerColumn) const {
    switch (unit_) {
    case Unit::Row:
        return bytes / static_cast<uint64_t>(bytesPerRow);
    case Unit::Column:
        return bytes / static_cast<uint64_t>(bytesPerColumn);
    case Unit::Bytes:
        break;
    }
    return bytes / unitBytes_;
}

int OffsetFormat::digits(uint64_t totalBytes, int bytesPerRow, int bytesPerColumn) const {
    if (width_ > 0)
        return width_;
    const uint64_t row = static_cast<uint64_t>(bytesPerRow);
    uint64_t units = toUnits((totalBytes + row - 1) / row * row, bytesPerRow, bytesPerColumn);
    int n = 1;
    for (uint64_t r = static_cast<uint64_t>(radix_); units >= r; units /= r)
        ++n;
    return n;
}

std::string OffsetFormat::format(uint64_t offset, uint64_t totalBytes, int bytesPerRow,
                                 int bytesPerColumn) const {
    static constexpr char Digits[] = "0123456789ABCDEF";
    uint64_t v = toUnits(offset, bytesPerRow, bytesPerColumn);
    std::string number;
    do {
        number.insert(number.begin(), Digits[v % static_cast<uint64_t>(radix_)]);
        v /= static_cast<uint64_t>(radix_);
    } while (v);
    const std::size_t width =
        static_cast<std::size_t>(digits(totalBytes, bytesPerRow, bytesPerColumn));
    if (number.size() < width)
        number.insert(0, width - number.size(), '0');
    return prefix_ + number + suffix_;
}

int OffsetFormat::labelLength(uint64_t totalBytes, int bytesPerRow, int bytesPerColumn) const {
    return static_cast<int>(prefix_.size() + suffix_.size()) +
           digits(totalBytes, bytesPerRow, bytesPerColumn);
}

} // namespace vantor::hex
