#pragma once
// GBK (code page 936) <-> UTF-8, through iconv. Only the chip database's
// NameText is stored as GBK; everything else in the program is UTF-8.
#include <string>
#include <string_view>

namespace vantor {

// Decodes GBK bytes. A byte that does not start a valid GBK character becomes
// U+FFFD, so decoding never fails and never drops the rest of the text.
std::string GbkToUtf8(std::string_view gbk);

// Encodes UTF-8 text as GBK. Returns false (and leaves `out` unspecified)
// when the text is not valid UTF-8 or holds a character GBK cannot express.
bool Utf8ToGbk(std::string_view utf8, std::string* out);

} // namespace vantor
