#include "production/SerialNumber.h"

#include "core/IntegerValue.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace vantor {
namespace {

// Kept one below INT64_MAX: the store marks a series that has run out with
// that value.
constexpr std::uint64_t kStoreCeiling = std::uint64_t(std::numeric_limits<std::int64_t>::max()) - 1;

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t limit) {
    return ParseUnsignedNumber(text, limit);
}

bool Binary(SerialField::Format f) {
    return f == SerialField::Format::LittleEndian || f == SerialField::Format::BigEndian;
}

const char* FormatWord(SerialField::Format f) {
    switch (f) {
    case SerialField::Format::LittleEndian:
        return "le";
    case SerialField::Format::BigEndian:
        return "be";
    case SerialField::Format::Decimal:
        return "dec";
    case SerialField::Format::Hex:
        break;
    }
    return "hex";
}

} // namespace

std::optional<SerialField> SerialField::parse(const std::string& text, std::string* why) {
    auto refuse = [&](const std::string& reason) -> std::optional<SerialField> {
        if (why != nullptr) {
            *why = reason;
        }
        return std::nullopt;
    };
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos || text.find(':', second + 1) != std::string::npos) {
        return refuse("--serial takes ADDR:WIDTH:FORMAT, not \"" + text + "\"");
    }
    SerialField f;
    const std::string format = text.substr(second + 1);
    if (format == "le" || format == "be" || format == "dec" || format == "hex") {
        f.format = format == "le"    ? Format::LittleEndian
                   : format == "be"  ? Format::BigEndian
                   : format == "dec" ? Format::Decimal
                                     : Format::Hex;
    } else {
        return refuse("--serial FORMAT is le, be, dec or hex, not \"" + format + "\"");
    }
    const auto address = ParseNumber(std::string_view(text).substr(0, first), 0xFFFFFFFFu);
    if (!address) {
        return refuse("--serial ADDR must be a number (decimal or 0x hex), not \"" +
                      text.substr(0, first) + "\"");
    }
    const unsigned widest = Binary(f.format) ? 8 : f.format == Format::Decimal ? 19 : 16;
    const auto width =
        ParseNumber(std::string_view(text).substr(first + 1, second - first - 1), widest);
    if (!width || *width == 0) {
        return refuse("--serial WIDTH for " + format + " is 1 to " + std::to_string(widest) +
                      ", not \"" + text.substr(first + 1, second - first - 1) + "\"");
    }
    f.address = std::uint32_t(*address);
    f.width = unsigned(*width);
    return f;
}

std::string SerialField::key() const {
    char text[48];
    std::snprintf(text, sizeof text, "0x%08X:%u:%s", address, width, FormatWord(format));
    return text;
}

std::uint64_t SerialField::maximum() const {
    std::uint64_t largest = kStoreCeiling;
    if (Binary(format)) {
        if (width < 8) {
            largest = (std::uint64_t(1) << (8 * width)) - 1;
        }
    } else {
        const std::uint64_t radix = format == Format::Decimal ? 10 : 16;
        std::uint64_t power = 1;
        bool beyond = false;
        for (unsigned i = 0; i < width && !beyond; ++i) {
            beyond = power > kStoreCeiling / radix;
            power *= beyond ? 1 : radix;
        }
        if (!beyond) {
            largest = power - 1;
        }
    }
    return largest < kStoreCeiling ? largest : kStoreCeiling;
}

void SerialField::encode(std::uint64_t value, std::uint8_t* bytes) const {
    for (unsigned i = 0; i < width; ++i) {
        const unsigned place = format == Format::LittleEndian ? i : width - 1 - i;
        switch (format) {
        case Format::LittleEndian:
        case Format::BigEndian:
            bytes[place] = std::uint8_t(value >> (8 * i));
            break;
        case Format::Decimal:
            bytes[place] = std::uint8_t('0' + value % 10);
            value /= 10;
            break;
        case Format::Hex:
            bytes[place] = std::uint8_t("0123456789ABCDEF"[value % 16]);
            value /= 16;
            break;
        }
    }
}

std::optional<std::uint64_t> SerialField::decode(const std::uint8_t* bytes) const {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        const std::uint8_t b = bytes[format == Format::LittleEndian ? width - 1 - i : i];
        int digit = -1;
        if (Binary(format)) {
            digit = b;
        } else if (b >= '0' && b <= '9') {
            digit = b - '0';
        } else if (format == Format::Hex && ((b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f'))) {
            digit = (b & 0x0F) + 9;
        }
        const unsigned radix = Binary(format) ? 256 : format == Format::Decimal ? 10 : 16;
        if (digit < 0 || digit >= int(radix)) {
            return std::nullopt;
        }
        value = value * radix + unsigned(digit);
    }
    return value;
}

std::string SerialField::show(std::uint64_t value) const {
    if (format == Format::Decimal) {
        return std::to_string(value);
    }
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::optional<std::uint64_t> ParseSerialNumber(const std::string& text) {
    return ParseNumber(text, kStoreCeiling);
}

} // namespace vantor
