#include "cli/CliOptions.h"
#include "core/IntegerValue.h"

#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"
#include "cli/CommandTable.h"
#include "core/MessageTable.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vantor {
namespace {

int IntegerInRange(std::string_view text, int low, int high, const char* what) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        throw UsageError{std::string(what) + " must be " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + std::string(text) + "\""};
    }
    return value;
}

// A byte count: decimal or 0x hex, optionally followed by K or M (KiB, MiB).
std::uint32_t ByteCount(std::string_view text) {
    const std::string shown(text);
    std::uint64_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) {
        unit = 1024;
        text.remove_suffix(1);
    } else if (!text.empty() && (text.back() == 'M' || text.back() == 'm')) {
        unit = 1024 * 1024;
        text.remove_suffix(1);
    }
    const auto value = ParseUnsignedNumber(text, DataBuffer::size() / unit);
    if (!value || *value == 0) {
        throw UsageError{"--size must be 1 to " + std::to_string(DataBuffer::size()) +
                         " bytes, not \"" + shown + "\""};
    }
    return std::uint32_t(*value * unit);
}

} // namespace

// --base: an address (decimal or 0x hex) below 4 GiB, or "auto".
void ParseBase(const std::string& text, Options& o) {
    if (text == "auto") {
        o.baseChoice = BaseChoice::Auto;
        return;
    }
    const auto value = ParseUnsignedNumber(text, 0xFFFFFFFF);
    if (!value)
        throw UsageError{"--base takes an address below 4 GiB or auto, not \"" + text + "\""};
    o.baseChoice = BaseChoice::Given;
    o.base = *value;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    bool optionsEnded = false;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg == "-") {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h") {
            arg = "--help";
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        auto value = [&]() -> std::string {
            if (inlineValue) {
                return *inlineValue;
            }
            if (i + 1 >= argc) {
                throw UsageError{name + " needs a value"};
            }
            return argv[++i];
        };
        auto flag = [&] {
            if (inlineValue) {
                throw UsageError{name + " takes no value"};
            }
        };
        if (name == "--db") {
            o.db = value();
        } else if (name == "--usb-library") {
            o.usbLibrary = value();
        } else if (name == "--speed") {
            o.speed = IntegerInRange(value(), 0, 5, "--speed");
        } else if (name == "--lang") {
            o.language = IntegerInRange(value(), 0, kLanguageCount - 1, "--lang");
        } else if (name == "--yes") {
            flag();
            o.yes = true;
        } else if (name == "--force") {
            flag();
            o.force = true;
        } else if (name == "--device") {
            o.deviceText = value();
            o.device = DeviceChoice::parse(o.deviceText);
            if (!o.device) {
                throw UsageError{"--device takes BUS:DEV or a number from 1, not \"" +
                                 o.deviceText + "\""};
            }
        } else if (name == "--json" || name == "--quiet") {
            flag();
            const auto mode = name == "--json" ? CliReport::Mode::Json : CliReport::Mode::Quiet;
            if (o.output != CliReport::Mode::Human && o.output != mode) {
                throw UsageError{"--json and --quiet exclude each other"};
            }
            o.output = mode;
        } else if (name == "--strict") {
            flag();
            o.strict = true;
        } else if (name == "--help") {
            flag();
            o.help = true;
        } else if (name == "--version") {
            flag();
            o.version = true;
        } else if (name == "--chip") {
            o.chip = value();
        } else if (name == "--size") {
            o.size = ByteCount(value());
        } else if (name == "--format") {
            const std::string word = value();
            o.format = FormatFromWord(word);
            if (!o.format) {
                throw UsageError{"--format takes " + FormatWords() + ", not \"" + word + "\""};
            }
        } else if (name == "--base") {
            ParseBase(value(), o);
        } else if (ParseOperatorFlag(name, o.operatorOptions)) {
            flag();
        } else if (std::string error;
                   ParseProductionOption(name, value, flag, o.production, error)) {
            if (!error.empty()) {
                throw UsageError{error};
            }
        } else if (name == "--no-erase" || name == "--no-program" || name == "--no-verify") {
            flag();
            o.autoFlagGiven = true;
            (name == "--no-erase"     ? o.autoOptions.erase
             : name == "--no-program" ? o.autoOptions.program
                                      : o.autoOptions.verify) = false;
        } else {
            throw UsageError{"unknown option " + name};
        }
    }
    if (words.empty()) {
        if (o.help || o.version) {
            return o;
        }
        throw UsageError{"no command given"};
    }
    o.command = FindCommand(words.front());
    if (o.command == nullptr) {
        throw UsageError{"unknown command \"" + words.front() + "\""};
    }
    if (o.help) {
        return o;
    }
    o.args.assign(words.begin() + 1, words.end());
    const CommandSpec& c = *o.command;
    const std::string name = c.name;
    if (o.args.size() < c.minArgs || o.args.size() > c.maxArgs) {
        throw UsageError{"usage: vantor-cli " + std::string(c.synopsis)};
    }
    if (o.chip && c.chip == ChipArg::None) {
        throw UsageError{name + " takes no --chip"};
    }
    if (!o.chip && c.chip == ChipArg::Required) {
        throw UsageError{name + " needs --chip NAME"};
    }
    if (o.size && !c.takes("--size")) {
        throw UsageError{name + " takes no --size"};
    }
    const bool takesFile = c.maxArgs > 0 && name != "chips";
    if ((o.format || o.baseChoice == BaseChoice::Auto || o.base != 0) && !takesFile) {
        throw UsageError{name + " takes no --format or --base: it has no file"};
    }
    if (o.autoFlagGiven && !c.takes("--no-erase")) {
        throw UsageError{"--no-erase, --no-program and --no-verify belong to auto"};
    }
    if (o.device && c.chip == ChipArg::None) {
        throw UsageError{name + " takes no --device"};
    }
    if (const std::string misuse = OperatorFlagMisuse(name, o.operatorOptions); !misuse.empty()) {
        throw UsageError{misuse};
    }
    if (const std::string misuse = ProductionOptionMisuse(c, o.production); !misuse.empty()) {
        throw UsageError{misuse};
    }
    if (name == "checksum" && o.chip.has_value() == !o.args.empty()) {
        throw UsageError{"usage: vantor-cli " + std::string(c.synopsis)};
    }
    o.autoOptions.unprotect = o.operatorOptions.unprotect;
    return o;
}

} // namespace vantor
