// vantor-cli: the chip commands, data file conversion and the chip list from
// a shell. Exit status 0 done, 1 the operation failed, 2 bad usage or input.
#include "core/FilePlaces.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFile.h"
#include "chipdb/ChipDetection.h"
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"
#include "chipdb/DatabaseFile.h"
#include "cli/ChipLookup.h"
#include "cli/CliHost.h"
#include "link/ChipCommands.h"
#include "link/ChipEngine.h"
#include "link/TUsbBulk.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantor {
namespace {

enum Exit : int { kDone = 0, kFailed = 1, kBadInput = 2 };

// ---- the command table ------------------------------------------------------------------

enum class ChipArg { None, Optional, Required };

struct CommandSpec {
    const char* name;
    std::size_t minArgs;
    std::size_t maxArgs;
    ChipArg chip;
    bool autoFlags;
    bool sizeOption;
    const char* synopsis;
    const char* help;
};

constexpr CommandSpec kCommands[] = {
    {"chips", 0, 1, ChipArg::None, false, false, "chips [TEXT]",
     "Lists the chip records whose names hold TEXT (letter case respected, as in the\n"
     "find dialog), or every record without TEXT, one \"Type,Maker,Name\" per line.\n"},
    {"detect", 0, 0, ChipArg::Optional, false, false, "detect [--chip NAME]",
     "Asks the programmer which chip is in the socket and names it (an SPI flash by\n"
     "its ID, a 24- or 93-series EEPROM by its type). --chip sets the supply and bus\n"
     "the question is asked with; the first record is used otherwise.\n"},
    {"read", 1, 1, ChipArg::Required, false, false, "read --chip NAME FILE",
     "Reads the whole chip and saves its whole capacity to FILE: \".hex\" Intel HEX,\n"
     "\".src\" S-record, anything else raw bytes.\n"},
    {"erase", 0, 0, ChipArg::Required, false, false, "erase --chip NAME",
     "Erases the whole chip.\n"},
    {"blank", 0, 0, ChipArg::Required, false, false, "blank --chip NAME",
     "Checks that the chip is blank (all 0xFF); exit 1 when it is not.\n"},
    {"write", 1, 1, ChipArg::Required, false, false, "write --chip NAME FILE",
     "Loads FILE (\".hex\" Intel HEX; \".eep\" Intel HEX or S-record by its first\n"
     "character; \".cap\" capsule without its 2048-byte header; anything else raw)\n"
     "and programs it into the chip. A file longer than the chip asks first.\n"},
    {"verify", 1, 1, ChipArg::Required, false, false, "verify --chip NAME FILE",
     "Loads FILE as for write and compares it with the chip; exit 1 and the first\n"
     "differing address when they differ.\n"},
    {"auto", 1, 1, ChipArg::Required, true, false,
     "auto --chip NAME FILE [--no-erase] [--no-program] [--no-verify]",
     "Loads FILE as for write, then erases, programs and verifies the chip with the\n"
     "programmer opened once; each step can be left out.\n"},
    {"convert", 2, 2, ChipArg::None, false, true, "convert IN OUT [--size N]",
     "Loads IN as write does and saves OUT as read does: the loaded length, or N\n"
     "bytes with --size (decimal, 0x hex, or with a K or M suffix), 0xFF past the\n"
     "loaded data.\n"},
};

const CommandSpec* FindCommand(std::string_view name) {
    for (const CommandSpec& command : kCommands) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

void PrintToolHelp() {
    std::printf("Usage: vantor-cli [OPTIONS] COMMAND ...\n\nCommands:\n");
    for (const CommandSpec& command : kCommands) {
        std::printf("  %s\n", command.synopsis);
    }
    std::printf(
        "\nOptions (before or after the command):\n"
        "  --db FILE            chip database (default: the one --version names)\n"
        "  --usb-library FILE   libusb 0.1 library to load (default: libusb-0.1.so.4 from\n"
        "                       beside the executable, else the system's)\n"
        "  --speed 0-5          programmer clock, 0 = 12 MHz (default) ... 5 = 375 kHz\n"
        "  --yes                answer every question Yes (overwrite, file longer than chip)\n"
        "  --lang 0|1|2         messages in Simplified Chinese, Traditional Chinese or\n"
        "                       English (default 2)\n"
        "  --help               this text; COMMAND --help for one command\n"
        "  --version            the version and the files in use\n"
        "\n--chip takes a chip name (letter case ignored) or \"Type,Maker,Name\".\n"
        "Exit status: 0 done, 1 the operation failed, 2 bad usage or bad input.\n");
}

void PrintCommandHelp(const CommandSpec& command) {
    std::printf("Usage: vantor-cli [OPTIONS] %s\n\n%s", command.synopsis, command.help);
}

// ---- options ----------------------------------------------------------------------------

struct UsageError {
    std::string text;
};

struct Options {
    std::string db;
    std::string usbLibrary = TUsbBulk::kDefaultLibrary;
    int speed = 0;
    bool yes = false;
    int language = English;
    bool help = false;
    bool version = false;
    const CommandSpec* command = nullptr;
    std::vector<std::string> args;
    std::optional<std::string> chip;
    std::optional<std::uint32_t> size;
    AutoOptions autoOptions;
    bool autoFlagGiven = false;
};

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
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > DataBuffer::size() / unit) {
        throw UsageError{"--size must be 1 to " + std::to_string(DataBuffer::size()) +
                         " bytes, not \"" + shown + "\""};
    }
    return std::uint32_t(value * unit);
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
    if (o.size && !c.sizeOption) {
        throw UsageError{name + " takes no --size"};
    }
    if (o.autoFlagGiven && !c.autoFlags) {
        throw UsageError{"--no-erase, --no-program and --no-verify belong to auto"};
    }
    return o;
}

// ---- shared steps -----------------------------------------------------------------------

void Complain(const std::string& text) {
    std::fprintf(stderr, "vantor-cli: %s\n", text.c_str());
}

// The window's places, for the "vantor" beside this executable: the same
// files for both.
FilePlaces WindowPlaces() {
    const std::string self = CurrentExecutablePath();
    const auto slash = self.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : self.substr(0, slash);
    return ResolveFilePlaces(folder + "/vantor");
}

std::string DefaultDatabasePath() {
    return WindowPlaces().database;
}

// "-" names the standard output.
std::string OutputPath(const std::string& path) {
    return path == "-" ? "/dev/stdout" : path;
}

bool LoadDatabase(ChipDatabase& db, const Options& o) {
    const std::string path = o.db.empty() ? DefaultDatabasePath() : o.db;
    switch (LoadChipDatabase(
        db, path, [](int, int, int) {}, 0, 0, 0)) {
    case DatabaseLoadResult::Loaded:
        return true;
    case DatabaseLoadResult::Missing:
        Complain(CannotOpenFileText(path));
        return false;
    case DatabaseLoadResult::BadSize:
    case DatabaseLoadResult::CannotOpen:
        break; // already said
    }
    return false;
}

// Finds the record --chip names; reports and returns nullopt when there is
// none or more than one.
std::optional<ChipRecord> ResolveChip(const ChipDatabase& db, const std::string& text) {
    const ChipLookup found = FindChipByName(db, text);
    switch (found.outcome) {
    case ChipLookup::Outcome::Found:
        return db[found.slot];
    case ChipLookup::Outcome::Ambiguous:
        Complain("chip \"" + text + "\" is ambiguous; name one of:");
        break;
    case ChipLookup::Outcome::Unknown:
        Complain(found.candidates.empty()
                     ? "unknown chip \"" + text + "\" (vantor-cli chips lists them)"
                     : "unknown chip \"" + text + "\"; similar names:");
        break;
    }
    for (const std::string& candidate : found.candidates) {
        std::fprintf(stderr, "  %s\n", candidate.c_str());
    }
    return std::nullopt;
}

bool ReadableFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// Loads `path` by the Open rules; kDone, or kBadInput after saying why.
int LoadInput(DataBuffer& buffer, const std::string& path, CliPrompts& prompts) {
    // The text codecs say nothing about a file they cannot open.
    if (!ReadableFile(path)) {
        Complain(path + ": " + filetext::CantOpenFile);
        return kBadInput;
    }
    const int before = prompts.complaints();
    prompts.setSubject(path);
    const int32_t loaded = LoadIntoDataBuffer(buffer, path);
    prompts.setSubject({});
    // Refused with the codec's own message, already shown.
    return loaded == 0 && prompts.complaints() != before ? kBadInput : kDone;
}

// Refuses up front a save over an existing file that would be declined
// anyway, before a read spends minutes on the chip.
bool OverwriteDeclinedAhead(const std::string& path, bool assumeYes) {
    struct stat st {};
    if (assumeYes || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (isatty(0) && isatty(2))) {
        return false;
    }
    Complain(path + ": " + Message(Msg::FileExists) + "[no: --yes answers yes]");
    return true;
}

// Saves `count` bytes by the Save rules; kDone, kFailed when the overwrite
// was declined, kBadInput when the file could not be written.
int SaveOutput(const DataBuffer& buffer, const std::string& path, std::uint32_t count,
               const CliPrompts& prompts) {
    const int declinedBefore = prompts.declined();
    if (SaveDataFile(path, buffer.data(), count)) {
        return kDone;
    }
    return prompts.declined() != declinedBefore ? kFailed : kBadInput;
}

int ExitFor(CommandResult result) {
    switch (result) {
    case CommandResult::Completed:
        return kDone;
    case CommandResult::UnusableRecord:
    case CommandResult::EmptyBuffer:
        return kBadInput;
    case CommandResult::Refused:
    case CommandResult::NoChip:
    case CommandResult::NoProgrammer:
    case CommandResult::Declined:
    case CommandResult::CheckFailed:
    case CommandResult::TransferFailed:
        break;
    }
    return kFailed;
}

// ---- commands ---------------------------------------------------------------------------

int RunChips(const Options& o) {
    ChipDatabase db;
    if (!LoadDatabase(db, o)) {
        return kBadInput;
    }
    const auto rows = o.args.empty() ? ListAllChips(db) : FindChips(db, o.args.front());
    for (const ChipListRow& row : rows) {
        std::printf("%s\n", ChipTriple(db[row.slot]).c_str());
    }
    return kDone;
}

int RunConvert(const Options& o, CliPrompts& prompts) {
    const std::string& in = o.args[0];
    const std::string out = OutputPath(o.args[1]);
    if (OverwriteDeclinedAhead(out, o.yes)) {
        return kFailed;
    }
    auto buffer = std::make_unique<DataBuffer>();
    if (const int status = LoadInput(*buffer, in, prompts); status != kDone) {
        return status;
    }
    const std::uint32_t count = o.size ? *o.size : std::uint32_t(buffer->UsedLength);
    return SaveOutput(*buffer, out, count, prompts);
}

struct Programmer {
    explicit Programmer(const Options& o)
        : Link(o.usbLibrary), Host(o.speed), Engine(Link, Buffer, Host), Commands(Engine, Host) {}
    TUsbBulk Link;
    DataBuffer Buffer;
    CliHost Host;
    ChipEngine Engine;
    ChipCommands Commands;
};

int RunDetect(const Options& o, const ChipDatabase& db, const std::optional<ChipRecord>& chip) {
    ChipSelection boxes(&db);
    boxes.SelectChip(0, 0, 0);
    const ChipRecord asked =
        chip ? *chip : (boxes.CurrentChip() != nullptr ? *boxes.CurrentChip() : ChipRecord{});
    Programmer p(o);
    ChipIdReply reply{};
    const int answered = p.Engine.ReadChipId(asked, reply.data());
    if (answered == 0 && p.Engine.failed()) {
        Complain(TransferFailureText(*p.Engine.failure()));
        return kFailed;
    }
    const DetectionOutcome outcome = DecideDetection(answered, reply, boxes, CurrentLanguage());
    if (!outcome.errorText.empty()) {
        Complain(outcome.errorText);
        return kFailed;
    }
    std::printf("%s\n", outcome.informationText.c_str());
    if (outcome.result == DetectionResult::Identified && outcome.slot >= 0) {
        std::printf("%s\n", ChipTriple(db[outcome.slot]).c_str());
    }
    return kDone;
}

int RunChipCommand(const Options& o, CliPrompts& prompts) {
    ChipDatabase db;
    if (!LoadDatabase(db, o)) {
        return kBadInput;
    }
    std::optional<ChipRecord> chip;
    if (o.chip) {
        chip = ResolveChip(db, *o.chip);
        if (!chip) {
            return kBadInput;
        }
    }
    const std::string name = o.command->name;
    if (name == "detect") {
        return RunDetect(o, db, chip);
    }

    // Everything that can be refused is refused before the chip is touched.
    std::string why;
    if (!ChipRecordIsUsable(*chip, &why)) {
        Complain(why);
        return kBadInput;
    }
    Programmer p(o);
    if (name == "read") {
        const std::string file = OutputPath(o.args.front());
        if (OverwriteDeclinedAhead(file, o.yes)) {
            return kFailed;
        }
        const CommandResult result = p.Commands.Read(*chip);
        if (result != CommandResult::Completed) {
            return ExitFor(result);
        }
        // The chip's whole capacity, as the window's Save writes it.
        const std::uint32_t count = std::min(chip->FlashSize, DataBuffer::size());
        return SaveOutput(p.Buffer, file, count, prompts);
    }
    if (name == "erase") {
        return ExitFor(p.Commands.Erase(*chip));
    }
    if (name == "blank") {
        return ExitFor(p.Commands.BlankCheck(*chip));
    }
    if (const int status = LoadInput(p.Buffer, o.args.front(), prompts); status != kDone) {
        return status;
    }
    if (name == "write") {
        return ExitFor(p.Commands.Write(*chip));
    }
    if (name == "verify") {
        return ExitFor(p.Commands.Verify(*chip));
    }
    return ExitFor(p.Commands.Auto(*chip, o.autoOptions));
}

int Run(int argc, char** argv) {
    Options o;
    try {
        o = ParseOptions(argc, argv);
    } catch (const UsageError& error) {
        Complain(error.text + " (see vantor-cli --help)");
        return kBadInput;
    }
    if (o.version) {
        SetCurrentLanguage(o.language);
        std::printf("vantor-cli %s\n%s", VANTOR_VERSION,
                    DescribeFilePlaces(WindowPlaces(), o.usbLibrary).c_str());
        return kDone;
    }
    if (o.help) {
        if (o.command != nullptr) {
            PrintCommandHelp(*o.command);
        } else {
            PrintToolHelp();
        }
        return kDone;
    }
    SetCurrentLanguage(o.language);
    // A library named by path must be there; the default name may be missing
    // (no programmer, as in the window).
    if (o.usbLibrary.find('/') != std::string::npos && !ReadableFile(o.usbLibrary)) {
        Complain(o.usbLibrary + ": " + filetext::CantOpenFile);
        return kBadInput;
    }

    CliPrompts prompts(o.yes);
    ScopedPrompts installed(prompts);
    const std::string name = o.command->name;
    if (name == "chips") {
        return RunChips(o);
    }
    if (name == "convert") {
        return RunConvert(o, prompts);
    }
    return RunChipCommand(o, prompts);
}

} // namespace
} // namespace vantor

int main(int argc, char** argv) {
    try {
        const int status = vantor::Run(argc, argv);
        std::fflush(stdout);
        // Output that never reached its file (a full disk, a closed pipe) is
        // no success.
        if (std::ferror(stdout) != 0 && status == 0) {
            return 1;
        }
        return status;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vantor-cli: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vantor-cli: %s\n", error.what());
    }
    return 1;
}
