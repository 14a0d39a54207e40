#include "core/SettingsFile.h"

#include "core/FilePlaces.h"
#include "core/MessageTable.h"

#include <charconv>
#include <climits>
#include <filesystem>
#include <system_error>

namespace vantor {

namespace {

constexpr std::string_view kEnvironment = "Environment";
constexpr std::string_view kLastFolder = "LastFolder";
constexpr std::string_view kChip = "CHIP";
constexpr std::string_view kDevice = "DEVICE";

} // namespace

std::optional<int> ParseSettingsInteger(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    bool negative = false;
    if (base == 10 && !text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    // from_chars alone would accept a second sign or stop early at junk;
    // the digits must be the whole rest of the text.
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return std::nullopt;
    long long magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    const long long value = negative ? -magnitude : magnitude;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

int ReadSettingsInteger(const IniFile& ini, std::string_view section, std::string_view key,
                        int fallback) {
    const auto text = ini.value(section, key);
    if (!text)
        return fallback;
    return ParseSettingsInteger(*text).value_or(fallback);
}

std::string SettingsPathFor(const std::string& executablePath) {
    return BesideExecutable(executablePath, ".ini");
}

std::string DefaultSettingsPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        return {};
    return ResolveFilePlaces(exe.string()).settings;
}

std::string UnableToWriteText(const std::string& path) {
    return "Unable to write to " + path;
}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

SettingsFile::SettingsFile() : path_(DefaultSettingsPath()) {}

void SettingsFile::load(SettingsTarget& target) const {
    IniFile ini;
    if (!path_.empty())
        ini.load(path_); // unreadable reads as empty: every key its default

    auto read = [&](std::string_view section, std::string_view key, int fallback) {
        return ReadSettingsInteger(ini, section, key, fallback);
    };

    const bool maximized = read(kEnvironment, "FormMax", 0) != 0;
    target.setMaximized(maximized);
    if (!maximized) {
        target.setTop(read(kEnvironment, "FormTop", kDefaultFormTop));
        target.setLeft(read(kEnvironment, "FormLeft", kDefaultFormLeft));
        target.setHeight(read(kEnvironment, "FormHeight", kDefaultFormHeight));
        target.setWidth(read(kEnvironment, "FormWidth", kDefaultFormWidth));
    }
    const int type = read(kChip, "INDEX1", 0);
    const int maker = read(kChip, "INDEX2", 0);
    const int name = read(kChip, "INDEX3", 0);
    target.setChipIndices(type, maker, name);
    if (read(kDevice, "chip", 0) != 0)
        target.showDeviceCommand();
    target.setSpeedIndex(read(kDevice, "SPEED", 0));
    target.setLanguageIndex(NormalizeLanguage(read(kDevice, "LANGU", 0)));
    target.setLastFolder(ini.value(kEnvironment, kLastFolder, ""));
}

IniFile::SaveResult SettingsFile::save(const SettingsTarget& target) const {
    IniFile ini;
    std::string reason;
    if (path_.empty() || !ini.load(path_, &reason)) {
        IniFile::SaveResult failed;
        failed.path = path_;
        failed.reason = path_.empty() ? "no settings path" : reason;
        return failed;
    }

    auto write = [&](std::string_view section, std::string_view key, int value) {
        ini.setValue(section, key, std::to_string(value));
    };

    const SettingsTarget::Geometry g = target.geometry();
    write(kEnvironment, "FormHeight", g.height);
    write(kEnvironment, "FormWidth", g.width);
    write(kEnvironment, "FormTop", g.top);
    write(kEnvironment, "FormLeft", g.left);
    write(kEnvironment, "FormMax", target.isMaximized() ? 1 : 0);
    // Our own key comes after the ones every copy of the file has.
    if (const std::string folder = target.lastFolder(); !folder.empty())
        ini.setValue(kEnvironment, kLastFolder, folder);
    const SettingsTarget::ChipIndices chip = target.chipIndices();
    write(kChip, "INDEX1", chip.type);
    write(kChip, "INDEX2", chip.maker);
    write(kChip, "INDEX3", chip.name);
    write(kDevice, "SPEED", target.speedIndex());
    write(kDevice, "LANGU", target.languageIndex());
    // DEVICE/chip is read only: whatever the file holds stays.
    return ini.save(path_);
}

} // namespace vantor
