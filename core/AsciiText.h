#pragma once
// Letter-case rules shared by every subsystem: only ASCII letters fold, so
// GBK bytes (128 and above) always compare exactly.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

constexpr char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// `text` with its ASCII letters in lower case (settings words, option values).
inline std::string LowerAsciiText(std::string text) {
    for (char& c : text)
        c = LowerAscii(c);
    return text;
}

constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

namespace detail {
constexpr std::array<int8_t, 256> MakeHexDigitTable() {
    std::array<int8_t, 256> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 10; ++i)
        t['0' + i] = static_cast<int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        t['A' + i] = static_cast<int8_t>(10 + i);
        t['a' + i] = static_cast<int8_t>(10 + i);
    }
    return t;
}
} // namespace detail

// Value of a hex digit (either case), or -1 for any other byte.
inline constexpr auto kHexDigitValue = detail::MakeHexDigitTable();

} // namespace vantor
