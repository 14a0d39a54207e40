#include "chipdb/NameText.h"

namespace vantor {
namespace {

bool IsBlank(unsigned char c) {
    return c >= 1 && c <= 32;
}

} // namespace

std::vector<std::string> SplitNameText(std::string_view text) {
    if (auto zero = text.find('\0'); zero != std::string_view::npos)
        text = text.substr(0, zero);
    std::vector<std::string> fields;
    std::size_t p = 0;
    const std::size_t n = text.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };

    while (p < n && IsBlank(at(p)))
        ++p;
    while (p < n) {
        std::string field;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        field += '"';
                        p += 2;
                        continue;
                    }
                    ++p; // closing quote
                    break;
                }
                field += text[p++];
            }
        } else {
            std::size_t start = p;
            while (p < n && at(p) > 32 && text[p] != ',')
                ++p;
            field.assign(text.substr(start, p - start));
        }
        fields.push_back(std::move(field));

        while (p < n && IsBlank(at(p)))
            ++p;
        if (p < n && text[p] == ',') {
            if (p + 1 == n)
                fields.emplace_back();
            do
                ++p;
            while (p < n && IsBlank(at(p)));
        }
    }
    return fields;
}

std::string TrimBlanks(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return std::string(text.substr(b, e - b));
}

std::string TrimmedField(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? TrimBlanks(fields[index]) : std::string();
}

std::string FoldAsciiCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}


} // namespace vantor
