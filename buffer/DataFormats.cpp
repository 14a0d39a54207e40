#include "buffer/DataFormats.h"

#include "core/AsciiText.h"
#include "core/MessageTable.h"

#include <cctype>

namespace vantor {
namespace {

struct FormatName {
    DataFileFormat format;
    const char* word;
    const char* label;
};

constexpr FormatName kNames[] = {
    {DataFileFormat::IntelHex, "hex", "Intel Hex"},
    {DataFileFormat::SRecord, "srec", "Motorola S-record"},
    {DataFileFormat::Raw, "raw", "Binary"},
    {DataFileFormat::Capsule, "cap", "BIOS capsule"},
};

constexpr const char* kAllFiles = "All files (*)";

std::string Patterns(const DataFormatEntry& entry) {
    std::string out;
    for (const char* ext : entry.extensions)
        out += std::string(out.empty() ? "" : " ") + "*" + ext;
    return out;
}

std::string FilterEntry(const DataFormatEntry& entry) {
    return std::string(entry.label) + " (" + Patterns(entry) + ")";
}

// The bytes that `digits` (pairs of hex digits, nothing else) spell: the
// first is a record's length byte, the sum covers them all. False when the
// digits are not all hex, or are not `lengthAdds` + the first byte long.
bool WholeRecord(std::string_view digits, unsigned lengthAdds, unsigned& sum) {
    if (digits.size() < 2 || digits.size() % 2 != 0)
        return false;
    sum = 0;
    unsigned first = 0;
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int hi = kHexDigitValue[static_cast<uint8_t>(digits[i])];
        const int lo = kHexDigitValue[static_cast<uint8_t>(digits[i + 1])];
        if ((hi | lo) < 0)
            return false;
        const unsigned byte = static_cast<unsigned>(hi << 4 | lo);
        first = i == 0 ? byte : first;
        sum += byte;
    }
    return digits.size() == 2 * (first + lengthAdds);
}

} // namespace

const std::vector<DataFormatEntry>& DataFormatTable() {
    static const std::vector<DataFormatEntry> table = {
        {DataFileFormat::Raw, "Binary", {".bin"}},
        {DataFileFormat::IntelHex, "Intel Hex", {".hex", ".ihx", ".ihex", ".h86"}},
        {DataFileFormat::Raw, "Bios Rom", {".rom"}},
        {DataFileFormat::SRecord,
         "Motorola S-record",
         {".s19", ".s28", ".s37", ".srec", ".mot", ".sx", ".src", ".s"}},
        {DataFileFormat::Capsule, "Asus Rom", {".cap"}},
    };
    return table;
}

const char* FormatWord(DataFileFormat format) {
    for (const FormatName& name : kNames)
        if (name.format == format)
            return name.word;
    return "raw";
}

const char* FormatLabel(DataFileFormat format) {
    for (const FormatName& name : kNames)
        if (name.format == format)
            return name.label;
    return "Binary";
}

std::optional<DataFileFormat> FormatFromWord(std::string_view word) {
    for (const FormatName& name : kNames)
        if (word == name.word)
            return name.format;
    return std::nullopt;
}

std::string FormatWords() {
    std::string out;
    for (const FormatName& name : kNames)
        out += std::string(out.empty() ? "" : "|") + name.word;
    return out;
}

std::string ExtensionPatterns(DataFileFormat format) {
    std::string out;
    for (const DataFormatEntry& entry : DataFormatTable())
        if (entry.format == format)
            out += (out.empty() ? "" : " ") + Patterns(entry);
    return out;
}

std::string FileExtension(std::string_view path) {
    size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string ext(name.substr(dot));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

DataFileFormat FormatForPath(std::string_view path) {
    const std::string ext = FileExtension(path);
    for (const DataFormatEntry& entry : DataFormatTable())
        for (const char* known : entry.extensions)
            if (ext == known)
                return entry.format;
    return DataFileFormat::Raw;
}

std::string OpenFileFilter() {
    std::string all;
    std::string each;
    for (const DataFormatEntry& entry : DataFormatTable()) {
        all += (all.empty() ? "" : " ") + Patterns(entry);
        each += FilterEntry(entry) + ";;";
    }
    return Message(Own::AllSupportedFiles) + " (" + all + ");;" + each + kAllFiles;
}

std::string SaveFileFilter() {
    std::string out;
    for (const DataFormatEntry& entry : DataFormatTable())
        out += FilterEntry(entry) + ";;";
    return out + kAllFiles;
}

std::optional<DataFileFormat> FormatForFilter(std::string_view filter) {
    for (const DataFormatEntry& entry : DataFormatTable())
        if (filter == FilterEntry(entry))
            return entry.format;
    return std::nullopt;
}

std::string ExtensionForSaveFilter(std::string_view filter) {
    for (const DataFormatEntry& entry : DataFormatTable())
        if (filter == FilterEntry(entry))
            return entry.extensions.front();
    return {};
}

std::optional<DataFileFormat> SniffTextFormat(std::string_view head) {
    const size_t start = head.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos)
        return std::nullopt;
    std::string_view line = head.substr(start);
    line = line.substr(0, line.find('\n'));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.remove_suffix(1);
    unsigned sum = 0;
    // Intel HEX: length, two address bytes, type, data, checksum; sum 0.
    if (line.size() > 1 && line[0] == ':' && WholeRecord(line.substr(1), 5, sum) &&
        (sum & 0xFF) == 0)
        return DataFileFormat::IntelHex;
    // S-record: count, then that many bytes; the sum of all is FFh.
    if (line.size() > 2 && line[0] == 'S' && std::isdigit(static_cast<unsigned char>(line[1])) &&
        line[1] != '4' && WholeRecord(line.substr(2), 1, sum) && (sum & 0xFF) == 0xFF)
        return DataFileFormat::SRecord;
    return std::nullopt;
}

} // namespace vantor
