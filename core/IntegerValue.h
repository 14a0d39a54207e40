#pragma once
// The one rule every number typed by the user is read with (chip editor
// cells, fill dialog fields).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

// Reads a typed number: optional leading blanks, an optional sign, then
// decimal digits, or hex digits after "$", "x", "X", "0x" or "0X". Decimal
// values must fit in 32 signed bits, hex values in 32 unsigned bits. Nothing
// may follow the digits. Empty when the text is not such a number.
std::optional<int64_t> ParseIntegerValue(std::string_view text);
// Reads a command-line number: decimal digits, or hex digits after "0x" or
// "0X", nothing else, at most `limit`. Empty otherwise.
std::optional<std::uint64_t> ParseUnsignedNumber(std::string_view text, std::uint64_t limit);
// The message for a text that is not a number.
std::string InvalidIntegerMessage(std::string_view text);

} // namespace vantor
