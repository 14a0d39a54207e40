#pragma once
// How the main window reads the three names out of a NameText. Letter-case
// rules (EqualsIgnoreCase, LowerAscii) come from core/AsciiText.h.
#include "core/AsciiText.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// Splits a comma-separated text into fields, up to its first zero byte:
//   1. leading bytes 1..32 are skipped;
//   2. a field that starts with a double quote runs to the closing quote,
//      two adjacent quotes inside standing for one;
//   3. any other field runs up to the next comma or byte 1..32 (bytes of 128
//      and above belong to the field);
//   4. bytes 1..32 are skipped, then a comma and the bytes 1..32 after it; a
//      comma as the very last byte adds one empty field;
//   5. repeat from 2 until the end.
// A blank therefore ends a field just as a comma does.
std::vector<std::string> SplitNameText(std::string_view text);

// Removes leading and trailing bytes 0..32.
std::string TrimBlanks(std::string_view text);

// Field `index` of a split, trimmed; empty when the text has fewer fields.
std::string TrimmedField(const std::vector<std::string>& fields, std::size_t index);

// `text` with ASCII capitals made small; other bytes unchanged.
std::string FoldAsciiCase(std::string_view text);

} // namespace vantor
