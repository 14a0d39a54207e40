#include "chipdb/ChipSourceList.h"

#include "chipdb/GbkText.h"
#include "chipdb/NameText.h"
#include "link/Protocol.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

namespace vantor {
namespace {

std::vector<std::string_view> SplitCommas(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (true) {
        auto comma = line.find(',', start);
        out.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos)
            return out;
        start = comma + 1;
    }
}

template <typename T> bool ParseNumber(std::string_view text, int base, T* out) {
    unsigned long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() ||
        v > static_cast<unsigned long long>(std::numeric_limits<T>::max()))
        return false;
    *out = static_cast<T>(v);
    return true;
}

bool ParseSize(std::string_view text, std::uint32_t* out) {
    unsigned long long scale = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'M')) {
        scale = text.back() == 'K' ? 1024ull : 1024ull * 1024ull;
        text.remove_suffix(1);
    }
    std::uint32_t base = 0;
    if (!ParseNumber(text, 10, &base) || base * scale > 0xFFFFFFFFull)
        return false;
    *out = static_cast<std::uint32_t>(base * scale);
    return true;
}

bool ParseVoltage(std::string_view text, std::uint8_t* out) {
    static const std::map<std::string_view, std::uint8_t> codes = {
        {"3.3V", ChipVoltage::V3_3}, {"1.8V", ChipVoltage::V1_8}, {"5.0V", ChipVoltage::V5_0}};
    auto it = codes.find(text);
    if (it == codes.end())
        return false;
    *out = it->second;
    return true;
}

bool HasForbiddenByte(std::string_view name) {
    for (unsigned char c : name)
        if (c <= 32 || c == ',' || c == '"' || c == 127)
            return true;
    return false;
}

// Maker and chip names as printed or ordered: no wildcards, brackets,
// slashes or dots.
bool IsPartNumber(std::string_view name) {
    for (unsigned char c : name)
        if (!std::isalnum(c) && c != '-')
            return false;
    return !name.empty();
}

std::string Hex(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", id);
    return text;
}

std::string Describe(const ChipNames& n) {
    return n.type + "," + n.maker + "," + n.name;
}

} // namespace

bool ParseChipSourceList(std::string_view text, std::vector<ChipRecord>* records,
                         std::vector<std::string>* errors, std::vector<FourByteEntry>* entries) {
    const std::size_t errorsBefore = errors->size();
    bool headerSeen = false;
    int lineNo = 0;
    while (!text.empty()) {
        auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        auto fail = [&](const std::string& what) {
            errors->push_back("line " + std::to_string(lineNo) + ": " + what);
        };
        if (!headerSeen) {
            headerSeen = true;
            if (line != kChipSourceHeader)
                fail(std::string("the header must read \"") + kChipSourceHeader + "\"");
            continue;
        }
        auto f = SplitCommas(line);
        if (f.size() != 12) {
            fail("12 fields expected, " + std::to_string(f.size()) + " found");
            continue;
        }
        FourByteEntry entry = FourByteEntry::None;
        ChipRecord r;
        std::string why;
        if (!SetNameText(r, std::string(f[0]) + "," + std::string(f[1]) + "," + std::string(f[2]),
                         &why)) {
            fail(why);
            continue;
        }
        if (!ParseNumber(f[3], 16, &r.ChipId))
            fail("chip_id \"" + std::string(f[3]) + "\" is not a hexadecimal number");
        else if (!ParseSize(f[4], &r.FlashSize))
            fail("size \"" + std::string(f[4]) + "\" is not a size");
        else if (!ParseNumber(f[5], 10, &r.FlashPage))
            fail("page \"" + std::string(f[5]) + "\" is not a number");
        else if (!ParseNumber(f[6], 10, &r.Family))
            fail("family \"" + std::string(f[6]) + "\" is not a number");
        else if (!ParseNumber(f[7], 10, &r.SubType))
            fail("subtype \"" + std::string(f[7]) + "\" is not a number");
        else if (!ParseNumber(f[8], 10, &r.Delay))
            fail("delay \"" + std::string(f[8]) + "\" is not a number up to 65535");
        else if (!ParseVoltage(f[9], &r.Voltage))
            fail("voltage \"" + std::string(f[9]) + "\" is not 3.3V, 1.8V or 5.0V");
        else if (!ParseFourByteEntry(f[10], &entry))
            fail("addr4 \"" + std::string(f[10]) + "\" is not B7, 06 B7, 17 80, unknown or empty");
        else if (f[11].find_first_not_of(' ') == std::string_view::npos)
            fail("no source: name the datasheet or ID table the facts come from");
        else {
            r.EepromSize = 0;
            r.EepromPage = 1;
            r.XmlLink = 0;
            records->push_back(r);
            if (entries)
                entries->push_back(entry);
        }
    }
    if (!headerSeen)
        errors->push_back("the list has no header line");
    return errors->size() == errorsBefore;
}

int SizeSubType(int family, std::uint32_t size) {
    switch (family) {
    case ChipFamily::Eeprom24:
        return size < 4096 ? ChipSubType::Eeprom24Below4K : ChipSubType::Eeprom24From4K;
    case ChipFamily::Eeprom25:
    case ChipFamily::Eeprom95:
        // A 512-byte part still takes one address byte (its ninth address bit
        // travels in the instruction), like the smaller ones.
        if (size <= 512)
            return ChipSubType::SpiEepromSmall;
        return size <= 65536 ? ChipSubType::SpiEepromFrom512 : ChipSubType::SpiEepromAbove64K;
    default:
        return -1;
    }
}

std::vector<ChipRecord> RecordsInUse(const ChipDatabase& db) {
    std::vector<ChipRecord> out;
    for (int i = 0; i < db.RecordCount(); ++i)
        out.push_back(db[i]);
    return out;
}

ChipNames NamesOf(const ChipRecord& record) {
    auto fields = SplitNameText(NameTextUtf8(record));
    return {TrimmedField(fields, 0), TrimmedField(fields, 1), TrimmedField(fields, 2)};
}

std::vector<std::string> CheckShippedRules(const std::vector<ChipRecord>& records) {
    std::vector<std::string> errors;
    if (records.size() > static_cast<std::size_t>(kChipSlots - 1))
        errors.push_back(std::to_string(records.size()) +
                         " records; at most 999 fit in front of the terminator slot");

    std::map<int, std::string> typeOfFamily;
    std::map<std::string, int> familyOfType;
    std::map<std::string, std::string> typeSpelling;  // folded -> as written
    std::map<std::string, std::string> makerSpelling; // folded type,maker -> maker
    std::set<std::string> seen;                       // folded joined names
    std::set<std::string> chipNames;                  // folded chip names
    int lastFamily = 0;

    for (std::size_t i = 0; i < records.size(); ++i) {
        const ChipRecord& r = records[i];
        const ChipNames n = NamesOf(r);
        const std::string where = "slot " + std::to_string(i) + " (" + Describe(n) + "): ";
        auto fail = [&](const std::string& what) { errors.push_back(where + what); };

        // Names.
        const std::string joined = NameTextUtf8(r);
        if (n.type.empty() || n.maker.empty() || n.name.empty())
            fail("type, maker and chip name must all be present");
        bool clean = SplitNameText(joined).size() == 3 && joined == Describe(n);
        for (const std::string* part : {&n.type, &n.maker, &n.name})
            clean = clean && !HasForbiddenByte(*part);
        if (!clean)
            fail("a name holds a blank, control byte, comma or quote");
        std::string gbk;
        if (!Utf8ToGbk(joined, &gbk) || gbk.size() > kNameTextMaxBytes)
            fail("NameText does not fit 47 GBK bytes");
        if (!seen.insert(FoldAsciiCase(joined)).second)
            fail("the same three names appear earlier");
        else if (!chipNames.insert(FoldAsciiCase(n.name)).second)
            fail("the chip name appears earlier: one record per part number");
        if (clean && (!IsPartNumber(n.maker) || !IsPartNumber(n.name)))
            fail("maker and chip names take letters, digits and hyphens only");

        auto [typeIt, typeNew] = typeSpelling.emplace(FoldAsciiCase(n.type), n.type);
        if (!typeNew && typeIt->second != n.type)
            fail("type name differs only in letter case from \"" + typeIt->second + "\"");
        auto [makerIt, makerNew] =
            makerSpelling.emplace(FoldAsciiCase(n.type + "," + n.maker), n.maker);
        if (!makerNew && makerIt->second != n.maker)
            fail("maker name differs only in letter case from \"" + makerIt->second + "\"");

        // Families and their type names.
        if (r.Family >= ChipFamily::Count) {
            fail("family " + std::to_string(r.Family) + " is not 0..4");
            continue;
        }
        if (r.Family < lastFamily)
            fail("family " + std::to_string(r.Family) + " after family " +
                 std::to_string(lastFamily) + ": families must come in order 0, 1, 2, 3, 4");
        lastFamily = std::max<int>(lastFamily, r.Family);
        auto [famIt, famNew] = typeOfFamily.emplace(r.Family, n.type);
        if (!famNew && famIt->second != n.type)
            fail("family " + std::to_string(r.Family) + " already uses type name \"" +
                 famIt->second + "\"");
        auto [ftIt, ftNew] = familyOfType.emplace(n.type, r.Family);
        if (!ftNew && ftIt->second != r.Family)
            fail("type name used by family " + std::to_string(ftIt->second) + " as well");

        // Geometry.
        if (!IsPowerOfTwo(r.FlashSize) || r.FlashSize < 64 || r.FlashSize > kMaxFlashSize)
            fail("size " + std::to_string(r.FlashSize) +
                 " is not a power of two from 64 B to 64 MiB");
        if (!IsPowerOfTwo(r.FlashPage) || r.FlashPage > kMaxFlashPage || r.FlashPage > r.FlashSize)
            fail("page " + std::to_string(r.FlashPage) +
                 " is not a power of two from 1 to 256 within the size");

        // Codes.
        const int expected = SizeSubType(r.Family, r.FlashSize);
        if (r.Family == ChipFamily::SpiFlash25) {
            if (r.SubType > ChipSubType::FlashSst)
                fail("SPI flash SubType must be 0 or 1");
            if (r.ChipId == 0 || r.ChipId > 0xFFFFFF)
                fail("SPI flash needs its three-byte JEDEC ID");
        } else {
            if (r.ChipId != 0)
                fail("only SPI flash has a chip ID");
        }
        if (r.Family == ChipFamily::Eeprom93) {
            const bool x8 =
                r.SubType >= ChipSubType::Eeprom93C46x8 && r.SubType <= ChipSubType::Eeprom93C86x8;
            const bool x16 = r.SubType >= ChipSubType::Eeprom93C46x16 &&
                             r.SubType <= ChipSubType::Eeprom93C86x16;
            if (!x8 && !x16)
                fail("93-series SubType must be 7..11 or 87..91");
            else if (r.FlashPage != (x8 ? 1 : 2))
                fail("93-series page must be 1 (8-bit) or 2 (16-bit organisation)");
        } else if (expected >= 0 && r.SubType != expected) {
            fail("SubType " + std::to_string(r.SubType) + " does not match the size (" +
                 std::to_string(expected) + " expected)");
        }
        if (r.Voltage > ChipVoltage::V5_0)
            fail("voltage code must be 0..2");
        if (r.Delay == 0)
            fail("delay must not be 0");
    }
    for (int family : {0, 1, 2})
        if (!typeOfFamily.count(family))
            errors.push_back("no record of family " + std::to_string(family) +
                             ": detection names types 1 and 2 by position");
    for (std::string& e : CheckJedecFacts(records))
        errors.push_back(std::move(e));
    return errors;
}

std::vector<std::string> CheckShippedRules(const std::vector<ChipRecord>& records,
                                           const std::vector<FourByteEntry>& entries) {
    std::vector<std::string> errors = CheckShippedRules(records);
    for (std::string& e : CheckFourByteEntries(records, entries))
        errors.push_back(std::move(e));
    return errors;
}

std::vector<std::string> CheckFourByteEntries(const std::vector<ChipRecord>& records,
                                              const std::vector<FourByteEntry>& entries) {
    std::vector<std::string> errors;
    if (entries.size() != records.size())
        return {"the addr4 column does not go with the records"};
    std::map<std::uint32_t, std::size_t> firstOfId;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ChipRecord& r = records[i];
        const std::string where = "slot " + std::to_string(i) + " (" + NamesOf(r).name + "): ";
        const bool large = r.Family == ChipFamily::SpiFlash25 && NeedsFourByteMode(r.FlashSize);
        if (large && entries[i] == FourByteEntry::None)
            errors.push_back(where + "above 16 MiB: addr4 must say how it enters 4-byte mode");
        if (!large && entries[i] != FourByteEntry::None)
            errors.push_back(where + "addr4 is for SPI flash above 16 MiB only");
        if (!large)
            continue;
        auto [it, isFirst] = firstOfId.emplace(r.ChipId, i);
        if (!isFirst && entries[it->second] != entries[i])
            errors.push_back(where + "addr4 \"" + FourByteEntryText(entries[i]) +
                             "\" differs from " + NamesOf(records[it->second]).name +
                             ", which has the same ID");
    }
    return errors;
}

std::string FourByteEntryTable(const std::vector<ChipRecord>& records,
                               const std::vector<FourByteEntry>& entries) {
    static const std::map<FourByteEntry, const char*> kNames = {
        {FourByteEntry::EnterB7, "EnterB7"},
        {FourByteEntry::WriteEnableB7, "WriteEnableB7"},
        {FourByteEntry::BankRegister, "BankRegister"}};
    std::map<std::uint32_t, const char*> byId;
    for (std::size_t i = 0; i < records.size() && i < entries.size(); ++i) {
        auto name = kNames.find(entries[i]);
        if (name != kNames.end())
            byId.emplace(records[i].ChipId, name->second);
    }
    std::string out;
    for (const auto& [id, name] : byId)
        out += "{0x" + Hex(id) + ", FourByteEntry::" + name + "},\n";
    return out;
}

std::uint32_t CapacityFromJedecId(std::uint32_t chipId) {
    const std::uint32_t maker = chipId >> 16;
    std::uint32_t code = chipId & 0xFF;
    static const std::set<std::uint32_t> kLog2Makers = {0x0B /* XTX */,
                                                        0x0E /* Zbit, early */,
                                                        0x1C /* Eon */,
                                                        0x20 /* ST, Micron, XMC */,
                                                        0x25 /* SK */,
                                                        0x34 /* Infineon */,
                                                        0x37 /* AMIC */,
                                                        0x4A /* ESI */,
                                                        0x5E /* Zbit */,
                                                        0x68 /* Boya */,
                                                        0x85 /* Puya */,
                                                        0x9D /* ISSI */,
                                                        0xA1 /* Fudan */,
                                                        0xBA /* Zetta */,
                                                        0xC2 /* Macronix */,
                                                        0xC8 /* GigaDevice */,
                                                        0xD5 /* Nantronics */,
                                                        0xEF /* Winbond */,
                                                        0xF8 /* Fidelix */};
    if (!kLog2Makers.count(maker))
        return 0;
    // Macronix's 1.8 V and octal parts count from 0x30 instead of 0x10.
    if (maker == 0xC2 && code >= 0x31 && code <= 0x3A)
        code -= 0x20;
    if (code >= 0x10 && code <= 0x19)
        return std::uint32_t{1} << code;
    if (code == 0x1A || code == 0x20) // 512 Mbit, both spellings in use
        return 64u << 20;
    if (code == 0x21 || code == 0x1B)
        return 128u << 20;
    return 0;
}

const std::vector<JedecException>& KnownJedecExceptions() {
    // An entry here says why an ID may break the rules. Detection never
    // chooses between the sizes of such an ID on its own: it asks.
    static const std::vector<JedecException> list = {
        {0xEF8A16, "W77Q16JW (2 MiB) answers the ID of W77Q32JW (4 MiB)"},
    };
    return list;
}

std::vector<std::string> CheckJedecFacts(const std::vector<ChipRecord>& records) {
    std::set<std::uint32_t> excepted;
    for (const JedecException& e : KnownJedecExceptions())
        excepted.insert(e.chipId);
    std::vector<std::string> errors;
    std::map<std::uint32_t, std::size_t> firstOfId;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ChipRecord& r = records[i];
        if (r.Family != ChipFamily::SpiFlash25 || excepted.count(r.ChipId))
            continue;
        const std::string where =
            "slot " + std::to_string(i) + " (" + NamesOf(r).name + ", ID " + Hex(r.ChipId) + "): ";
        const std::uint32_t stated = CapacityFromJedecId(r.ChipId);
        if (stated != 0 && stated != r.FlashSize)
            errors.push_back(where + "size " + std::to_string(r.FlashSize) + " but the ID states " +
                             std::to_string(stated));
        auto [it, isFirst] = firstOfId.emplace(r.ChipId, i);
        const ChipRecord& first = records[it->second];
        if (!isFirst && (first.FlashSize != r.FlashSize || first.FlashPage != r.FlashPage))
            errors.push_back(where + "size or page differs from " + NamesOf(first).name +
                             ", the first record of this ID");
    }
    return errors;
}

} // namespace vantor
