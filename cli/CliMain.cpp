// vantor-cli: the chip commands, data file conversion and the chip list from
// a shell. Exit status 0 done, 1 the operation failed, 2 bad usage or input.
#include "buffer/DataBuffer.h"
#include "buffer/DataFile.h"
#include "chipdb/ChipDetection.h"
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"
#include "chipdb/DatabaseFile.h"
#include "cli/ChipLookup.h"
#include "cli/CliHost.h"
#include "cli/CliJob.h"
#include "cli/CliReport.h"
#include "cli/OperatorCommands.h"
#include "core/FilePlaces.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "link/ChipCommands.h"
#include "link/ChipEngine.h"
#include "link/ConnectionProbe.h"
#include "link/Protocol.h"
#include "link/UsbTransport.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// ---- the command table ------------------------------------------------------------------

enum class ChipArg { None, Optional, Required };

} // namespace

// One command of the table. Chip commands (a `chipRun`) get the record,
// the programmer and the report; the others run on their own.
struct CommandSpec {
    const char* name;
    std::size_t minArgs;
    std::size_t maxArgs;
    ChipArg chip;
    bool autoFlags;
    bool sizeOption;
    const char* synopsis;
    const char* help;
    int (*chipRun)(ChipJob&) = nullptr;
};

namespace {

int RunRead(ChipJob& job);
int RunErase(ChipJob& job);
int RunBlank(ChipJob& job);
int RunWrite(ChipJob& job);
int RunVerify(ChipJob& job);
int RunAuto(ChipJob& job);
int RunUnprotect(ChipJob& job);
int RunChecksum(ChipJob& job);

const CommandSpec kCommands[] = {
    {"devices", 0, 0, ChipArg::None, false, false, "devices",
     "Lists every programmer on the bus in scan order: its number, BUS:DEV, variant\n"
     "and whether this user can open it now (usable, permission denied, busy, not a\n"
     "programmer, cannot be opened). Each one is opened and claimed for a moment.\n"
     "Exit 1 when none is usable.\n"},
    {"chips", 0, 1, ChipArg::None, false, false, "chips [TEXT]",
     "Lists the chip records whose names hold TEXT (letter case respected, as in the\n"
     "find dialog), or every record without TEXT, one \"Type,Maker,Name\" per line.\n"},
    {"detect", 0, 0, ChipArg::Optional, false, false, "detect [--chip NAME]",
     "Asks the programmer which chip is in the socket and names it (an SPI flash by\n"
     "its ID, a 24- or 93-series EEPROM by its type). --chip sets the supply and bus\n"
     "the question is asked with; the first record is used otherwise.\n"},
    {"read", 1, 1, ChipArg::Required, false, false, "read --chip NAME FILE [--twice]",
     "Reads the whole chip and saves its whole capacity to FILE: \".hex\" Intel HEX,\n"
     "\".src\" S-record, anything else raw bytes. A FILE that cannot be created is\n"
     "refused before the chip is read. Prints the CRC-32 and byte sum. --twice\n"
     "reads the chip twice and fails, naming the first differing address, when the\n"
     "two reads differ.\n",
     RunRead},
    {"erase", 0, 0, ChipArg::Required, false, false, "erase --chip NAME",
     "Erases the whole chip.\n", RunErase},
    {"blank", 0, 0, ChipArg::Required, false, false, "blank --chip NAME",
     "Checks that the chip is blank (all 0xFF); exit 1 when it is not.\n", RunBlank},
    {"write", 1, 1, ChipArg::Required, false, false, "write --chip NAME FILE [--verify]",
     "Loads FILE (\".hex\" Intel HEX; \".eep\" Intel HEX or S-record by its first\n"
     "character; \".cap\" capsule without its 2048-byte header; anything else raw)\n"
     "and programs it into the chip. A file longer than the chip is asked about\n"
     "before the chip is touched (--yes writes what fits). --verify reads the chip\n"
     "back afterwards and compares.\n",
     RunWrite},
    {"verify", 1, 1, ChipArg::Required, false, false, "verify --chip NAME FILE [--list]",
     "Loads FILE as for write and compares it with the chip; exit 1, the number of\n"
     "differing bytes and the first differing address when they differ. --list\n"
     "prints every differing address with the chip's and the file's byte. Of a file\n"
     "longer than the chip the chip's size is compared, and the bytes left out are\n"
     "named.\n",
     RunVerify},
    {"auto", 1, 1, ChipArg::Required, true, false,
     "auto --chip NAME FILE [--no-erase] [--no-program] [--no-verify] [--unprotect]",
     "Loads FILE as for write, then erases, programs and verifies the chip with the\n"
     "programmer opened once; each step can be left out. A file longer than the\n"
     "chip is asked about before the erase (--yes writes what fits). --unprotect\n"
     "clears an SPI flash's write protection first.\n",
     RunAuto},
    {"unprotect", 0, 0, ChipArg::Required, false, false, "unprotect --chip NAME",
     "Clears an SPI flash's write protection: write enable (06h), write status\n"
     "register 00h (01h 00h), and the global block unlock (98h) for parts that\n"
     "lock blocks in a register.\n",
     RunUnprotect},
    {"checksum", 0, 1, ChipArg::Optional, false, false, "checksum FILE | checksum --chip NAME",
     "Prints the CRC-32 and the 32-bit byte sum of FILE as loaded by write, or of\n"
     "the chip's whole capacity as read.\n",
     RunChecksum},
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
        "  --device BUS:DEV|N   the programmer to use: its place on the bus, or its number\n"
        "                       in scan order (see devices); default the first usable\n"
        "  --json               one JSON object per command on stdout: command, chip,\n"
        "                       device, file, result, exit, addresses, time, messages\n"
        "  --quiet              print nothing but errors and warnings\n"
        "  --strict             a failed finish block after the operation exits 1\n"
        "                       (otherwise a warning)\n"
        "  --lang 0|1|2         messages in Simplified Chinese, Traditional Chinese or\n"
        "                       English (default 2)\n"
        "  --help               this text; COMMAND --help for one command\n"
        "  --version            the version and the files in use\n"
        "\n--chip takes a chip name (letter case ignored) or \"Type,Maker,Name\".\n"
        "Results go to stdout; errors, warnings, notes and progress to stderr.\n"
        "Files, the chip's size and the output are checked before the chip is touched.\n"
        "SIGINT or SIGTERM stops a chip command at the next transfer (exit 130).\n"
        "Exit status: 0 done, 1 the operation failed (no programmer, no chip, not blank,\n"
        "mismatch, transfer failure, declined), 2 bad usage or bad input, 130 stopped.\n"
        "\nGang programming: one process per programmer, each with its own --device:\n"
        "  vantor-cli devices\n"
        "  vantor-cli --device 1 --json auto --chip W25Q32JV fw.bin > p1.json &\n"
        "  vantor-cli --device 2 --json auto --chip W25Q32JV fw.bin > p2.json &\n"
        "  wait\n");
}

void PrintCommandHelp(const CommandSpec& command) {
    std::printf("Usage: vantor-cli [OPTIONS] %s\n\n%s", command.synopsis, command.help);
}

// ---- options ----------------------------------------------------------------------------

struct UsageError {
    std::string text;
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
        } else if (ParseOperatorFlag(name, o.operatorOptions)) {
            flag();
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
    if (o.device && c.chip == ChipArg::None) {
        throw UsageError{name + " takes no --device"};
    }
    if (const std::string misuse = OperatorFlagMisuse(name, o.operatorOptions); !misuse.empty()) {
        throw UsageError{misuse};
    }
    if (name == "checksum" && o.chip.has_value() == !o.args.empty()) {
        throw UsageError{"usage: vantor-cli " + std::string(c.synopsis)};
    }
    o.autoOptions.unprotect = o.operatorOptions.unprotect;
    return o;
}

// ---- shared steps -----------------------------------------------------------------------

// The running command's report; null while the options are parsed.
CliReport* TheReport = nullptr;

void Complain(const std::string& text) {
    if (TheReport != nullptr) {
        TheReport->error(text);
    } else {
        std::fprintf(stderr, "vantor-cli: %s\n", text.c_str());
    }
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

bool LoadDatabase(ChipDatabase& db, const Options& o, CliPrompts& prompts) {
    const std::string path = o.db.empty() ? DefaultDatabasePath() : o.db;
    prompts.setSubject(path);
    const DatabaseLoadResult loaded = LoadChipDatabase(
        db, path, [](int, int, int) {}, 0, 0, 0);
    prompts.setSubject({});
    switch (loaded) {
    case DatabaseLoadResult::Loaded:
        return true;
    case DatabaseLoadResult::Missing:
        Complain(CannotOpenFileText(path));
        return false;
    case DatabaseLoadResult::BadSize:
    case DatabaseLoadResult::CannotOpen:
        break; // already said, with the file's name
    }
    return false;
}

// Finds the record --chip names; reports and returns nullopt when there is
// none or more than one.
std::optional<ChipRecord> ResolveChip(const ChipDatabase& db, const std::string& text) {
    const ChipLookup found = FindChipByName(db, text);
    std::string said;
    switch (found.outcome) {
    case ChipLookup::Outcome::Found:
        return db[found.slot];
    case ChipLookup::Outcome::Ambiguous:
        said = "chip \"" + text + "\" is ambiguous; name one of:";
        break;
    case ChipLookup::Outcome::Unknown:
        said = found.candidates.empty()
                   ? "unknown chip \"" + text + "\" (vantor-cli chips lists them)"
                   : "unknown chip \"" + text + "\"; similar names:";
        break;
    }
    for (const std::string& candidate : found.candidates) {
        said += "\n  " + candidate;
    }
    Complain(said);
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
    if (assumeYes || path == "-" || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (isatty(0) && isatty(2))) {
        return false;
    }
    Complain(path + ": " + Message(Msg::FileExists) + "[no: --yes answers yes]");
    return true;
}

// Whether a save could create or replace `path`: its folder must take a new
// file (saves go through a temporary file beside the target) and an
// existing regular file must be writable. FIFOs and devices are written
// straight through. Says why not, naming the file.
bool OutputCreatable(const std::string& path) {
    if (path == "-") {
        return true; // stdout
    }
    std::string target = path;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    int error = 0;
    if (exists && S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (exists && !S_ISREG(st.st_mode)) {
        return true;
    } else if (exists && ::access(path.c_str(), W_OK) != 0) {
        error = errno;
    }
    if (exists && error == 0) {
        // A symlink is replaced at the file it points to.
        if (char* real = ::realpath(path.c_str(), nullptr); real != nullptr) {
            target = real;
            std::free(real);
        }
    }
    if (error == 0) {
        const auto slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : target.substr(0, slash);
        if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            error = errno;
        }
    }
    if (error == 0) {
        return true;
    }
    Complain(FormatMessage(Own::CannotCreateOutput, {path, std::strerror(error)}));
    return false;
}

// Saves `count` bytes by the Save rules; kDone, kFailed when the overwrite
// was declined, kBadInput when the file could not be written.
int SaveOutput(const DataBuffer& buffer, const std::string& path, std::uint32_t count,
               CliPrompts& prompts) {
    const int declinedBefore = prompts.declined();
    prompts.setSubject(path);
    const bool saved = SaveDataFile(path, buffer.data(), count);
    prompts.setSubject({});
    if (saved) {
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
    case CommandResult::Stopped:
        return kStopped;
    }
    return kFailed;
}

const char* ResultWord(CommandResult result) {
    switch (result) {
    case CommandResult::Completed:
        return "completed";
    case CommandResult::Refused:
        return "refused";
    case CommandResult::UnusableRecord:
        return "unusable-record";
    case CommandResult::EmptyBuffer:
        return "empty-file";
    case CommandResult::NoChip:
        return "no-chip";
    case CommandResult::NoProgrammer:
        return "no-programmer";
    case CommandResult::Declined:
        return "declined";
    case CommandResult::CheckFailed:
        return "check-failed";
    case CommandResult::Stopped:
        return "stopped";
    case CommandResult::TransferFailed:
        break;
    }
    return "transfer-failed";
}

// Says why no programmer was opened, when more is known than "Not
// connected": one present but refused, or none at the place --device named.
void ExplainNoProgrammer(const Options& o, const UsbTransport& link) {
    if (const auto& refused = link.refusal()) {
        Complain(ProgrammerRefusalText(*refused));
    } else if (o.device) {
        Complain(FormatMessage(Own::NoChosenProgrammer, {o.deviceText}));
    }
}

// Names the programmer in the report at its first open; says which one was
// taken when there was a choice and none was made.
void NoteProgrammer(const Options& o, Programmer& p, CliReport& report) {
    p.Host.onOpened([&o, &p, &report, noted = false]() mutable {
        const auto& opened = p.Link.opened();
        if (noted || !opened) {
            return;
        }
        noted = true;
        report.set("device", opened->location());
        if (!o.device && p.Link.candidatesSeen() > 1) {
            report.note(
                FormatMessage(Own::UsingFirstProgrammer,
                              {opened->location(), std::to_string(p.Link.candidatesSeen())}));
        }
    });
}

} // namespace

int ChipJob::finished(CommandResult result) {
    report.setResult(ResultWord(result));
    ChipEngine& engine = programmer.Engine;
    if (result == CommandResult::NoProgrammer) {
        ExplainNoProgrammer(options, programmer.Link);
    }
    if (const auto& failure = engine.failure();
        failure && result == CommandResult::TransferFailed) {
        report.set("failure_address", std::int64_t(failure->address));
    }
    int status = ExitFor(result);
    if (status == kDone && engine.finishFailed()) {
        if (options.strict) {
            report.error(Message(Own::FinishBlockFailed));
            report.setResult("finish-failed");
            status = kFailed;
        } else {
            report.warning(Message(Own::FinishBlockFailed));
        }
    }
    return status;
}

namespace {

// ---- commands ---------------------------------------------------------------------------

// The CRC-32 and byte sum of `count` bytes: a result line, and two fields of
// the JSON object.
void ReportChecksums(CliReport& report, const std::uint8_t* data, std::size_t count) {
    const Checksums sums = ComputeChecksums(data, count);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", unsigned(sums.crc32));
    report.set("crc32", crc);
    report.set("sum", std::int64_t(sums.sum));
    report.result(ChecksumText(sums));
}

int RunChips(const Options& o, CliPrompts& prompts, CliReport& report) {
    ChipDatabase db;
    if (!LoadDatabase(db, o, prompts)) {
        return kBadInput;
    }
    const auto rows = o.args.empty() ? ListAllChips(db) : FindChipsAnyCase(db, o.args.front());
    std::string list;
    for (const ChipListRow& row : rows) {
        const std::string triple = ChipTriple(db[row.slot]);
        if (report.mode() == CliReport::Mode::Json) {
            list += (list.empty() ? "" : ",") + CliReport::Quote(triple);
        } else {
            std::printf("%s\n", triple.c_str());
        }
    }
    report.setRaw("chips", "[" + list + "]");
    return kDone;
}

const char* VariantWord(ProgrammerSlot::Variant variant) {
    switch (variant) {
    case ProgrammerSlot::Variant::DuroDevice:
        return kProductTextDudOVEDuroDevice;
    case ProgrammerSlot::Variant::Duro:
        return kProductTextDudOVEDuro;
    case ProgrammerSlot::Variant::Unknown:
        break;
    }
    return "-";
}

const char* AccessWord(ProgrammerSlot::Access access) {
    switch (access) {
    case ProgrammerSlot::Access::Usable:
        return "usable";
    case ProgrammerSlot::Access::NotOurs:
        return "not-a-programmer";
    case ProgrammerSlot::Access::PermissionDenied:
        return "permission-denied";
    case ProgrammerSlot::Access::Busy:
        return "busy";
    case ProgrammerSlot::Access::Unavailable:
        break;
    }
    return "cannot-open";
}

int RunDevices(const Options& o, CliReport& report) {
    UsbTransport link(o.usbLibrary);
    const auto slots = link.scan(kProgrammerVendorId, kProgrammerProductId);
    std::string list;
    int usable = 0;
    for (const ProgrammerSlot& slot : slots) {
        usable += slot.access == ProgrammerSlot::Access::Usable ? 1 : 0;
        char line[160];
        std::snprintf(line, sizeof line, "%d  %s  %-17s  %s", slot.index, slot.location().c_str(),
                      VariantWord(slot.variant), AccessWord(slot.access));
        report.result(line);
        list += std::string(list.empty() ? "" : ",") + "{\"index\":" + std::to_string(slot.index) +
                ",\"location\":" + CliReport::Quote(slot.location()) +
                ",\"variant\":" + CliReport::Quote(VariantWord(slot.variant)) +
                ",\"access\":" + CliReport::Quote(AccessWord(slot.access)) +
                ",\"errno\":" + std::to_string(slot.error) + "}";
    }
    report.setRaw("devices", "[" + list + "]");
    for (const ProgrammerSlot& slot : slots) {
        if (slot.refused()) {
            report.note(ProgrammerRefusalText(slot));
        }
    }
    if (slots.empty()) {
        report.error(Message(Own::NoProgrammerOnBus));
    }
    return usable > 0 ? kDone : kFailed;
}

int RunConvert(const Options& o, CliPrompts& prompts) {
    const std::string& in = o.args[0];
    const std::string& out = o.args[1];
    if (OverwriteDeclinedAhead(out, o.yes)) {
        return kFailed;
    }
    if (!OutputCreatable(out)) {
        return kBadInput;
    }
    auto buffer = std::make_unique<DataBuffer>();
    if (const int status = LoadInput(*buffer, in, prompts); status != kDone) {
        return status;
    }
    const std::uint32_t count = o.size ? *o.size : std::uint32_t(buffer->UsedLength);
    return SaveOutput(*buffer, OutputPath(out), count, prompts);
}

int RunDetect(const Options& o, const ChipDatabase& db, const std::optional<ChipRecord>& chip,
              CliReport& report) {
    ChipSelection boxes(&db);
    boxes.SelectChip(0, 0, 0);
    const ChipRecord asked =
        chip ? *chip : (boxes.CurrentChip() != nullptr ? *boxes.CurrentChip() : ChipRecord{});
    Programmer p(o, report);
    NoteProgrammer(o, p, report);
    ChipIdReply reply{};
    const int answered = p.Engine.ReadChipId(asked, reply.data());
    if (answered == 0 && p.Engine.failed()) {
        Complain(TransferFailureText(*p.Engine.failure()));
        return kFailed;
    }
    const DetectionOutcome outcome = DecideDetection(answered, reply, boxes, CurrentLanguage());
    if (!outcome.errorText.empty()) {
        Complain(outcome.errorText);
        if (answered == 0) {
            ExplainNoProgrammer(o, p.Link);
        }
        return kFailed;
    }
    for (const SelectChipCall& call : outcome.selectCalls) {
        boxes.SelectChip(call.typeIndex, call.makerIndex, call.nameIndex);
    }
    if (outcome.result != DetectionResult::Identified) {
        // A chip without an ID: only its type is known.
        report.set("type", boxes.typeBox().text());
        report.result("Detected: " + boxes.typeBox().text() + " (no ID)");
        return kDone;
    }
    // The chip the boxes now show, then every later record answering the ID:
    // --chip takes any of them.
    const unsigned id = ReplyChipId(reply);
    char idText[8];
    std::snprintf(idText, sizeof idText, "%06X", id);
    report.set("chip", ChipTriple(db[outcome.slot]));
    report.set("id", idText);
    report.result("Detected: " + boxes.nameBox().text() + " (" + boxes.typeBox().text() + ", ID " +
                  idText + ")");
    const std::vector<int> others = OtherSlotsWithId(db, outcome.slot);
    if (!others.empty()) {
        std::string list;
        report.result(std::string("Other chips with ID ") + idText + ":");
        for (const int slot : others) {
            report.result("  " + ChipTriple(db[slot]));
            list += (list.empty() ? "" : ",") + CliReport::Quote(ChipTriple(db[slot]));
        }
        report.setRaw("others", "[" + list + "]");
    }
    return kDone;
}

int RunRead(ChipJob& job) {
    const std::string& file = job.options.args.front();
    // Refused before the chip is read, not after.
    if (OverwriteDeclinedAhead(file, job.options.yes)) {
        return kFailed;
    }
    if (!OutputCreatable(file)) {
        return kBadInput;
    }
    job.report.set("file", file);
    ChipCommands& commands = job.programmer.Commands;
    const CommandResult result =
        job.options.operatorOptions.twice ? commands.ReadTwice(job.chip) : commands.Read(job.chip);
    const int status = job.finished(result);
    if (result != CommandResult::Completed) {
        return status;
    }
    // The chip's whole capacity, as the window's Save writes it.
    const std::uint32_t count = std::min(job.chip.FlashSize, DataBuffer::size());
    job.report.set("start", 0);
    job.report.set("length", count);
    ReportChecksums(job.report, job.programmer.Buffer.data(), count);
    const int saved = SaveOutput(job.programmer.Buffer, OutputPath(file), count, job.prompts);
    if (saved != kDone) {
        job.report.setResult("save-failed");
    }
    return saved != kDone ? saved : status;
}

int RunErase(ChipJob& job) {
    return job.finished(job.programmer.Commands.Erase(job.chip));
}

int RunBlank(ChipJob& job) {
    job.report.set("start", 0);
    job.report.set("length", job.chip.FlashSize);
    return job.finished(job.programmer.Commands.BlankCheck(job.chip));
}

// Loads the command's file; when it is to be programmed and is longer than
// the chip, asks now, before anything touches the chip, and hands the
// answer on to the engine's own question.
int LoadForChip(ChipJob& job, bool programs) {
    const std::string& file = job.options.args.front();
    job.report.set("file", file);
    if (const int status = LoadInput(job.programmer.Buffer, file, job.prompts); status != kDone) {
        return status;
    }
    const std::uint64_t used = std::uint64_t(job.programmer.Buffer.UsedLength);
    const std::uint32_t page = job.chip.FlashPage;
    const std::uint64_t pages = page == 0 ? used : (used + page - 1) / page * page;
    job.report.set("start", 0);
    job.report.set("length", std::int64_t(std::min<std::uint64_t>(used, job.chip.FlashSize)));
    if (!programs || pages <= job.chip.FlashSize) {
        return kDone;
    }
    const std::string question = Message(Msg::FileLargerThanChip);
    const bool yes = job.prompts.askYesNo(question);
    job.prompts.answered(question, yes);
    if (!yes) {
        job.report.error(Message(Own::ChipUntouched));
        job.report.setResult(ResultWord(CommandResult::Declined));
        return kFailed;
    }
    return kDone;
}

// A verify of a file longer than the chip compared the chip's size only.
void NoteUncompared(ChipJob& job, std::uint64_t used) {
    if (used <= job.chip.FlashSize) {
        return;
    }
    const std::uint64_t left = used - job.chip.FlashSize;
    job.report.set("compared", job.chip.FlashSize);
    job.report.set("not_compared", std::int64_t(left));
    job.report.result(FormatMessage(Own::VerifyComparedPart,
                                    {std::to_string(job.chip.FlashSize), std::to_string(left)}));
}

int RunWrite(ChipJob& job) {
    if (const int status = LoadForChip(job, true); status != kDone) {
        return status;
    }
    const CommandResult written = job.programmer.Commands.Write(job.chip);
    if (written != CommandResult::Completed || !job.options.operatorOptions.verifyAfter) {
        return job.finished(written);
    }
    return job.finished(job.programmer.Commands.Verify(job.chip));
}

int RunVerify(ChipJob& job) {
    if (const int status = LoadForChip(job, false); status != kDone) {
        return status;
    }
    const std::uint64_t used = std::uint64_t(job.programmer.Buffer.UsedLength);
    if (job.options.operatorOptions.list) {
        job.programmer.Engine.OnDifference = [&job](const ByteDifference& d) {
            job.report.result(DifferenceText(d));
        };
    }
    const CommandResult result = job.programmer.Commands.Verify(job.chip);
    if (result == CommandResult::Completed) {
        NoteUncompared(job, used);
    }
    return job.finished(result);
}

int RunAuto(ChipJob& job) {
    const AutoOptions steps = job.options.autoOptions;
    if (const int status = LoadForChip(job, steps.program); status != kDone) {
        return status;
    }
    const std::uint64_t used = std::uint64_t(job.programmer.Buffer.UsedLength);
    const CommandResult result = job.programmer.Commands.Auto(job.chip, steps);
    if (result == CommandResult::Completed && steps.verify) {
        NoteUncompared(job, used);
    }
    return job.finished(result);
}

int RunUnprotect(ChipJob& job) {
    return job.finished(job.programmer.Commands.Unprotect(job.chip));
}

int RunChecksum(ChipJob& job) {
    const CommandResult result = job.programmer.Commands.Read(job.chip);
    if (result == CommandResult::Completed) {
        const std::uint32_t count = std::min(job.chip.FlashSize, DataBuffer::size());
        ReportChecksums(job.report, job.programmer.Buffer.data(), count);
    }
    return job.finished(result);
}

// The checksums of a file, as write would load it: no programmer needed.
int RunFileChecksum(const Options& o, CliPrompts& prompts, CliReport& report) {
    auto buffer = std::make_unique<DataBuffer>();
    report.set("file", o.args.front());
    if (const int status = LoadInput(*buffer, o.args.front(), prompts); status != kDone) {
        return status;
    }
    ReportChecksums(report, buffer->data(), std::size_t(buffer->UsedLength));
    return kDone;
}

int RunChipCommand(const Options& o, CliPrompts& prompts, CliReport& report) {
    ChipDatabase db;
    if (!LoadDatabase(db, o, prompts)) {
        return kBadInput;
    }
    std::optional<ChipRecord> chip;
    if (o.chip) {
        chip = ResolveChip(db, *o.chip);
        if (!chip) {
            return kBadInput;
        }
        report.set("chip", ChipTriple(*chip));
    }
    if (o.command->chipRun == nullptr) {
        return RunDetect(o, db, chip, report);
    }

    // Everything that can be refused is refused before the chip is touched.
    std::string why;
    if (!ChipRecordIsUsable(*chip, &why)) {
        Complain(why);
        return kBadInput;
    }
    Programmer p(o, report);
    NoteProgrammer(o, p, report);
    // Nothing reaches an output file before the read has ended, so a stopped
    // read leaves no partial output behind.
    StopOnSignals stopper(p.Host);
    ChipJob job{o, prompts, report, *chip, p};
    return o.command->chipRun(job);
}

int RunCommand(const Options& o, CliPrompts& prompts, CliReport& report) {
    // A library named by path must be there; the default name may be missing
    // (no programmer, as in the window).
    if (o.usbLibrary.find('/') != std::string::npos && !ReadableFile(o.usbLibrary)) {
        Complain(o.usbLibrary + ": " + filetext::CantOpenFile);
        return kBadInput;
    }
    const std::string name = o.command->name;
    if (name == "chips") {
        return RunChips(o, prompts, report);
    }
    if (name == "convert") {
        return RunConvert(o, prompts);
    }
    if (name == "devices") {
        return RunDevices(o, report);
    }
    if (name == "checksum" && !o.chip) {
        return RunFileChecksum(o, prompts, report);
    }
    return RunChipCommand(o, prompts, report);
}

int Run(int argc, char** argv) {
    Options o;
    try {
        o = ParseOptions(argc, argv);
    } catch (const UsageError& error) {
        // A script that asked for JSON gets its object for a usage error too.
        const bool json = std::any_of(
            argv + 1, argv + argc, [](const char* arg) { return std::strcmp(arg, "--json") == 0; });
        CliReport report(json ? CliReport::Mode::Json : CliReport::Mode::Human);
        report.error(error.text + " (see vantor-cli --help)");
        report.setResult("bad-usage");
        return report.finish(kBadInput);
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
    // Image bytes written to stdout keep it to themselves: results (and the
    // JSON object) go to stderr then.
    const std::string name = o.command->name;
    const bool dataOnStdout =
        (name == "read" && o.args.front() == "-") || (name == "convert" && o.args.back() == "-");
    CliReport report(o.output, dataOnStdout ? stderr : stdout);
    TheReport = &report;
    report.set("command", o.command->name);
    CliPrompts prompts(o.yes, report);
    ScopedPrompts installed(prompts);
    const int status = RunCommand(o, prompts, report);
    TheReport = nullptr;
    return report.finish(status);
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
