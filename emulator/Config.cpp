#include "emulator/Config.h"
#include "core/AsciiText.h"

#include "emulator/AddressMode.h"
#include "emulator/Protection.h"
#include "link/Protocol.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>

namespace vantor::emu {

namespace {

const char* const kFaultNames[kFaultKinds] = {"unplug", "timeout", "short_read", "short_write",
                                              "stall",  "bitflip", "lost_write"};

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

using Section = std::map<std::string, std::string>;

bool ParseNumber(const std::string& text, unsigned long long& out, bool hexDefault = false) {
    std::string t = Trim(text);
    if (t.empty()) {
        return false;
    }
    unsigned long long multiplier = 1;
    const char last = char(std::toupper(static_cast<unsigned char>(t.back())));
    if (!hexDefault && (last == 'K' || last == 'M')) {
        multiplier = last == 'K' ? 1024ull : 1024ull * 1024ull;
        t.pop_back();
    }
    int base = hexDefault ? 16 : 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t = t.substr(2);
    }
    if (t.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(t.c_str(), &end, base);
    if (errno != 0 || end == nullptr || *end != '\0' || t[0] == '-') {
        return false;
    }
    out = v * multiplier;
    return true;
}

class Reader {
public:
    Reader(const Section& s, std::string name, std::string& error)
        : S(s), Name(std::move(name)), Error(error) {}

    bool number(const char* key, unsigned long long max, auto& field, bool hex = false) {
        auto it = S.find(key);
        if (it == S.end()) {
            return true;
        }
        unsigned long long v = 0;
        if (!ParseNumber(it->second, v, hex) || v > max) {
            Error = "[" + Name + "] " + key + ": bad value '" + it->second + "'";
            return false;
        }
        field = static_cast<std::remove_reference_t<decltype(field)>>(v);
        return true;
    }
    bool flag(const char* key, bool& field) {
        unsigned long long v = field ? 1 : 0;
        if (!number(key, 1, v)) {
            return false;
        }
        field = v != 0;
        return true;
    }
    // 0, 1 (fails the usual way: `usual`), an errno number or its name.
    bool error(const char* key, int usual, int& field) {
        auto it = S.find(key);
        if (it == S.end()) {
            return true;
        }
        static const std::pair<const char*, int> kNames[] = {{"EACCES", EACCES},
                                                             {"EPERM", EPERM},
                                                             {"EBUSY", EBUSY},
                                                             {"ENODEV", ENODEV},
                                                             {"EIO", EIO}};
        for (const auto& [name, value] : kNames) {
            if (LowerAsciiText(it->second) == LowerAsciiText(name)) {
                field = value;
                return true;
            }
        }
        unsigned long long v = 0;
        if (!ParseNumber(it->second, v) || v > 4095) {
            Error = "[" + Name + "] " + key + ": bad value '" + it->second + "'";
            return false;
        }
        field = v == 1 ? usual : int(v);
        return true;
    }
    bool text(const char* key, std::string& field) {
        auto it = S.find(key);
        if (it != S.end()) {
            field = it->second;
        }
        return true;
    }
    // Every key must be known: a misspelt key would silently do nothing.
    bool onlyKeys(std::initializer_list<const char*> keys) {
        for (const auto& [k, v] : S) {
            bool known = false;
            for (const char* allowed : keys) {
                known = known || k == allowed;
            }
            for (int f = 0; f < kFaultKinds && Name == "faults"; ++f) {
                known = known || k == std::string(kFaultNames[f]) + "_at" ||
                        k == std::string(kFaultNames[f]) + "_rate";
            }
            if (!known) {
                Error = "[" + Name + "] unknown key '" + k + "'";
                return false;
            }
        }
        return true;
    }

private:
    const Section& S;
    std::string Name;
    std::string& Error;
};

bool ReadChip(const Section& s, const std::string& name, const std::string& baseDir,
              ChipConfig& chip, std::string& error) {
    Reader r(s, name, error);
    if (!r.onlyKeys({"family", "jedec", "size", "page", "organisation", "organization",
                     "erase_busy_polls", "erase_busy_ms", "image", "fill", "page_program_us",
                     "chip_erase_ms", "write_cycle_ms", "protect", "four_byte_entry"})) {
        return false;
    }
    std::string org;
    if (!r.number("family", 4, chip.family) || !r.number("jedec", 0xFFFFFF, chip.jedec, true) ||
        !r.number("size", 64ull * 1024 * 1024, chip.size) || !r.number("page", 65536, chip.page) ||
        !r.number("erase_busy_polls", 1000000, chip.eraseBusyPolls) ||
        !r.number("erase_busy_ms", 600000, chip.eraseBusyMs) ||
        !r.number("page_program_us", 1000000, chip.pageProgramUs) ||
        !r.number("chip_erase_ms", 3600000, chip.chipEraseMs) ||
        !r.number("write_cycle_ms", 1000, chip.writeCycleMs) ||
        !r.number("organisation", 16, chip.organisation) ||
        !r.number("organization", 16, chip.organisation) || !r.text("image", chip.image) ||
        !r.text("fill", chip.fill) || !r.text("protect", chip.protect) ||
        !r.text("four_byte_entry", chip.fourByteEntry)) {
        return false;
    }
    if (!Protection::Parse(chip.protect, error) || !ParseEntryMethod(chip.fourByteEntry, error)) {
        error = "[" + name + "] " + error;
        return false;
    }
    chip.fill = LowerAsciiText(chip.fill);
    if (chip.size == 0 || chip.page == 0) {
        error = "[" + name + "] size and page must not be 0";
        return false;
    }
    if (chip.organisation != 8 && chip.organisation != 16) {
        error = "[" + name + "] organisation must be 8 or 16";
        return false;
    }
    if (chip.fill != "blank" && chip.fill != "demo" && chip.fill != "zero") {
        error = "[" + name + "] fill must be blank, demo or zero";
        return false;
    }
    if (!chip.image.empty() && chip.image[0] != '/' && !baseDir.empty()) {
        chip.image = baseDir + "/" + chip.image;
    }
    return true;
}

bool ReadDevice(const std::map<std::string, Section>& sections, const std::string& name,
                const std::string& baseDir, DeviceConfig& d, std::string& error) {
    d.name = name;
    static const Section kEmpty;
    auto it = sections.find(name);
    if (it == sections.end() && name != "programmer") {
        error = "device section [" + name + "] is missing";
        return false;
    }
    const Section& s = it == sections.end() ? kEmpty : it->second;
    Reader r(s, name, error);
    if (!r.onlyKeys({"bus", "plugged", "vendor", "product_id", "manufacturer", "product", "serial",
                     "variant", "string_type", "open_fails", "claim_fails", "interface", "chip",
                     "turnaround_us"})) {
        return false;
    }
    std::string variant = "device";
    std::string chipName = "chip";
    if (!r.number("bus", 127, d.bus) || !r.flag("plugged", d.plugged) ||
        !r.number("vendor", 0xFFFF, d.vendor) || !r.number("product_id", 0xFFFF, d.productId) ||
        !r.text("manufacturer", d.manufacturer) || !r.text("product", d.product) ||
        !r.text("serial", d.serial) || !r.text("variant", variant) ||
        !r.number("string_type", 255, d.stringType) ||
        !r.error("open_fails", ENODEV, d.openFails) ||
        !r.error("claim_fails", EBUSY, d.claimFails) ||
        !r.number("interface", 255, d.interfaceNumber) || !r.text("chip", chipName) ||
        !r.number("turnaround_us", 1000000, d.turnaroundUs)) {
        return false;
    }
    variant = LowerAsciiText(Trim(variant));
    if (variant != "device" && variant != "duro") {
        error = "[" + name + "] variant must be device or duro";
        return false;
    }
    if (d.product == kProductTextDudOVEDuro) {
        d.bigEndianVariant = true;
    } else if (d.product == kProductTextDudOVEDuroDevice) {
        d.bigEndianVariant = false;
    } else {
        d.bigEndianVariant = variant == "duro";
    }
    chipName = LowerAsciiText(Trim(chipName));
    if (chipName == "none" || chipName.empty()) {
        d.chip.present = false;
        return true;
    }
    auto c = sections.find(chipName);
    if (c == sections.end()) {
        if (chipName != "chip") {
            error = "chip section [" + chipName + "] is missing";
            return false;
        }
        return true; // the default chip
    }
    return ReadChip(c->second, chipName, baseDir, d.chip, error);
}

std::vector<long> ParseList(const std::string& text, bool& ok) {
    std::vector<long> out;
    std::string item;
    std::stringstream ss(text);
    ok = true;
    while (std::getline(ss, item, ',')) {
        if (Trim(item).empty()) {
            continue;
        }
        unsigned long long v = 0;
        if (!ParseNumber(item, v) || v == 0 || v > 0x7FFFFFFF) {
            ok = false;
            return {};
        }
        out.push_back(long(v));
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

bool FaultPlan::any() const {
    for (int k = 0; k < kFaultKinds; ++k) {
        if (!at[k].empty() || rate[k] > 0) {
            return true;
        }
    }
    return false;
}

Config DefaultConfig() {
    Config c;
    c.devices.emplace_back();
    return c;
}

bool ParseConfig(const std::string& text, const std::string& baseDir, Config& out,
                 std::string& error) {
    std::map<std::string, Section> sections;
    std::string current;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') {
            continue;
        }
        if (t[0] == '[') {
            if (t.back() != ']') {
                error = "line " + std::to_string(lineNo) + ": bad section header";
                return false;
            }
            current = LowerAsciiText(Trim(t.substr(1, t.size() - 2)));
            sections[current];
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos || current.empty()) {
            error = "line " + std::to_string(lineNo) + ": expected key = value in a section";
            return false;
        }
        sections[current][LowerAsciiText(Trim(t.substr(0, eq)))] = Trim(t.substr(eq + 1));
    }

    Config c;
    std::vector<std::string> names{"programmer"};
    if (auto bus = sections.find("bus"); bus != sections.end()) {
        Reader r(bus->second, "bus", error);
        std::string timing = "instant";
        if (!r.onlyKeys({"devices", "log", "log_limit", "timing"}) || !r.flag("log", c.log) ||
            !r.number("log_limit", 100000000, c.logLimit) || !r.text("timing", timing)) {
            return false;
        }
        timing = LowerAsciiText(Trim(timing));
        if (timing != "instant" && timing != "usb-full-speed") {
            error = "[bus] timing must be instant or usb-full-speed";
            return false;
        }
        c.benchTiming = timing == "usb-full-speed";
        if (auto d = bus->second.find("devices"); d != bus->second.end()) {
            names.clear();
            std::stringstream ss(d->second);
            std::string item;
            while (std::getline(ss, item, ',')) {
                if (!Trim(item).empty()) {
                    names.push_back(LowerAsciiText(Trim(item)));
                }
            }
        }
    }
    for (const std::string& name : names) {
        DeviceConfig d;
        if (!ReadDevice(sections, name, baseDir, d, error)) {
            return false;
        }
        c.devices.push_back(std::move(d));
    }
    if (auto f = sections.find("faults"); f != sections.end()) {
        Reader r(f->second, "faults", error);
        if (!r.onlyKeys({"seed"}) || !r.number("seed", ~0ull, c.faults.seed)) {
            return false;
        }
        for (int k = 0; k < kFaultKinds; ++k) {
            const std::string name = kFaultNames[k];
            if (auto a = f->second.find(name + "_at"); a != f->second.end()) {
                bool ok = false;
                c.faults.at[k] = ParseList(a->second, ok);
                if (!ok) {
                    error = "[faults] " + name + "_at: bad transfer list";
                    return false;
                }
            }
            if (auto rt = f->second.find(name + "_rate"); rt != f->second.end()) {
                char* end = nullptr;
                const double v = std::strtod(rt->second.c_str(), &end);
                if (end == rt->second.c_str() || *end != '\0' || !(v >= 0 && v <= 1)) {
                    error = "[faults] " + name + "_rate: bad probability";
                    return false;
                }
                c.faults.rate[k] = v;
            }
        }
    }
    out = std::move(c);
    return true;
}

} // namespace vantor::emu
