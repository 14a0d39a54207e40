#include "cli/CommandTable.h"

#include "buffer/DataFormats.h"

#include <cstdio>
#include <cstring>

namespace vantor {
namespace {

constexpr const char* kChipHelp =
    "the chip: its name (letter case ignored) or \"Type,Maker,Name\"\n";

constexpr OptionSpec kChipOnly[] = {{"--chip", "NAME", kChipHelp}};

constexpr OptionSpec kDetectOptions[] = {
    {"--chip", "NAME",
     "the chip whose supply and bus the question is asked with (default: the first\n"
     "record)\n"},
};

constexpr OptionSpec kReadOptions[] = {
    {"--chip", "NAME", kChipHelp},
    {"--twice", nullptr,
     "read the chip twice; fail, naming the first differing address, when the two\n"
     "reads differ\n"},
};

// A per-chip serial number, drawn from the log (--log-db) before the chip.
#define VANTOR_SERIAL_OPTIONS                                                                      \
    {"--serial", "ADDR:WIDTH:FORMAT",                                                              \
     "write each chip's own number at ADDR: le or be binary (1 to 8\n"                             \
     "bytes), dec or hex ASCII digits (zero-padded); verify takes the\n"                           \
     "chip's own number there\n"},                                                                 \
        {"--serial-start", "N", "the first number of the series (default 1)\n"}, {                 \
        "--serial-step", "K", "the step between two chips (default 1)\n"                           \
    }

constexpr OptionSpec kWriteOptions[] = {
    {"--chip", "NAME", kChipHelp},
    {"--verify", nullptr, "read the chip back afterwards and compare\n"},
    VANTOR_SERIAL_OPTIONS,
};

constexpr OptionSpec kVerifyOptions[] = {
    {"--chip", "NAME", kChipHelp},
    {"--list", nullptr, "print every differing address with the chip's and the file's byte\n"},
    VANTOR_SERIAL_OPTIONS,
};

constexpr OptionSpec kAutoOptions[] = {
    {"--chip", "NAME", kChipHelp},
    {"--no-erase", nullptr, "leave the erase out\n"},
    {"--no-program", nullptr, "leave the programming out\n"},
    {"--no-verify", nullptr, "leave the verify out\n"},
    {"--unprotect", nullptr, "clear an SPI flash's write protection first\n"},
    VANTOR_SERIAL_OPTIONS,
};

constexpr OptionSpec kLogOptions[] = {
    {"--since", "DATE", "rows from DATE on (2026-12-08, or a UTC time 2026-12-08T06:00)\n"},
    {"--csv", nullptr, "print every row as CSV instead of the summary\n"},
};

constexpr OptionSpec kChecksumOptions[] = {
    {"--chip", "NAME", "the chip whose whole capacity is read instead of a FILE\n"},
};

constexpr OptionSpec kConvertOptions[] = {
    {"--size", "N",
     "save N bytes (decimal, 0x hex, or with a K or M suffix), 0xFF past the loaded\n"
     "data\n"},
};

constexpr CommandSpec kCommands[] = {
    {"devices",
     0,
     0,
     ChipArg::None,
     "devices",
     "Lists every programmer on the bus in scan order: its number, BUS:DEV, variant\n"
     "and whether this user can open it now (usable, permission denied, busy, not a\n"
     "programmer, cannot be opened). Each one is opened and claimed for a moment.\n"
     "Exit 1 when none is usable.\n",
     {}},
    {"chips",
     0,
     1,
     ChipArg::None,
     "chips [TEXT]",
     "Lists the chip records whose names hold TEXT (letter case respected, as in the\n"
     "find dialog), or every record without TEXT, one \"Type,Maker,Name\" per line.\n",
     {}},
    {"detect", 0, 0, ChipArg::Optional, "detect [--chip NAME]",
     "Asks the programmer which chip is in the socket and names it (an SPI flash by\n"
     "its ID, a 24- or 93-series EEPROM by its type). --chip sets the supply and bus\n"
     "the question is asked with; the first record is used otherwise.\n",
     kDetectOptions},
    {"read", 1, 1, ChipArg::Required, "read --chip NAME FILE [--twice]",
     "Reads the whole chip and saves its whole capacity to FILE in the format its\n"
     "extension names (see --help; --format overrides it; --base ADDR gives a text\n"
     "file its addresses). A FILE that cannot be created is refused before the chip\n"
     "is read; \"-\" or any name of stdout gets the image alone, the words go to\n"
     "stderr. Prints the CRC-32 and byte sum. --twice\n"
     "reads the chip twice and fails, naming the first differing address, when the\n"
     "two reads differ.\n",
     kReadOptions},
    {"erase", 0, 0, ChipArg::Required, "erase --chip NAME", "Erases the whole chip.\n", kChipOnly},
    {"blank", 0, 0, ChipArg::Required, "blank --chip NAME",
     "Checks that the chip is blank (all 0xFF); exit 1 when it is not.\n", kChipOnly},
    {"write", 1, 1, ChipArg::Required, "write --chip NAME FILE [--verify]",
     "Loads FILE in the format its extension names (see --help; --format overrides\n"
     "it; a text file's data above the buffer needs --base) and programs it into\n"
     "the chip. A file longer than the chip is asked about\n"
     "before the chip is touched (--yes writes what fits). --verify reads the chip\n"
     "back afterwards and compares. --serial ADDR:WIDTH:FORMAT with --serial-start N\n"
     "and --serial-step K writes each chip's own number from the log (--log-db).\n",
     kWriteOptions},
    {"verify", 1, 1, ChipArg::Required, "verify --chip NAME FILE [--list]",
     "Loads FILE as for write and compares it with the chip; exit 1, the number of\n"
     "differing bytes and the first differing address when they differ. --list\n"
     "prints every differing address with the chip's and the file's byte. Of a file\n"
     "longer than the chip the chip's size is compared, and the bytes left out are\n"
     "named. With --serial (--serial-start, --serial-step) the chip's own number is\n"
     "expected at its address.\n",
     kVerifyOptions},
    {"auto", 1, 1, ChipArg::Required,
     "auto --chip NAME FILE [--no-erase] [--no-program] [--no-verify] [--unprotect]",
     "Loads FILE as for write, then erases, programs and verifies the chip with the\n"
     "programmer opened once; each step can be left out. A file longer than the\n"
     "chip is asked about before the erase (--yes writes what fits). --unprotect\n"
     "clears an SPI flash's write protection first. --serial, --serial-start and\n"
     "--serial-step write each chip's own number, as for write.\n",
     kAutoOptions},
    {"unprotect", 0, 0, ChipArg::Required, "unprotect --chip NAME",
     "Clears an SPI flash's write protection: write enable (06h), write status\n"
     "register 00h (01h 00h), and the global block unlock (98h) for parts that\n"
     "lock blocks in a register.\n",
     kChipOnly},
    {"checksum", 0, 1, ChipArg::Optional, "checksum FILE | checksum --chip NAME",
     "Prints the CRC-32 and the 32-bit byte sum of FILE as loaded by write, or of\n"
     "the chip's whole capacity as read.\n",
     kChecksumOptions},
    {"log", 0, 0, ChipArg::None, "log --log-db FILE|URL [--since DATE] [--csv]",
     "Prints the production log's totals per chip, file and result, the yield of\n"
     "each programmer, and the last failures with their addresses (--json: one\n"
     "object). --csv prints every row instead, for a spreadsheet.\n",
     kLogOptions},
    {"convert", 2, 2, ChipArg::None, "convert IN OUT [--size N]",
     "Loads IN as write does and saves OUT as read does: the loaded length, or N\n"
     "bytes with --size (decimal, 0x hex, or with a K or M suffix), 0xFF past the\n"
     "loaded data.\n",
     kConvertOptions},
};

constexpr OptionSpec kGlobalOptions[] = {
    {"--db", "FILE", "chip database (default: the one --version names)\n"},
    {"--usb-library", "FILE",
     "libusb 0.1 library to load (default: libusb-0.1.so.4 from\n"
     "beside the executable, else the system's)\n"},
    {"--speed", "0-5", "programmer clock, 0 = 12 MHz (default) ... 5 = 375 kHz\n"},
    {"--yes", nullptr, "answer every question Yes (overwrite, file longer than chip)\n"},
    {"--force", nullptr,
     "go on with --chip although the chip answers another JEDEC ID\n"
     "(refused otherwise, before anything is sent to the chip)\n"},
    {"--device", "BUS:DEV|N",
     "the programmer to use: its place on the bus, or its number\n"
     "in scan order (see devices); default the first usable\n"},
    {"--json", nullptr,
     "one JSON object per command on stdout: command, chip,\n"
     "device, file, result, exit, addresses, time, messages\n"},
    {"--quiet", nullptr, "print nothing but errors and warnings\n"},
    {"--strict", nullptr,
     "a failed finish block after the operation exits 1\n"
     "(otherwise a warning)\n"},
    {"--format", "hex|srec|raw|cap",
     "the format of the file read (convert: of IN), whatever\n"
     "its extension says\n"},
    {"--base", "ADDR|auto",
     "a text file's address of buffer byte 0, for data above the\n"
     "buffer (auto: the lowest address down to 64 KiB); read\n"
     "and convert write text files back from it\n"},
    {"--lang", "0|1|2",
     "messages in Simplified Chinese, Traditional Chinese or\n"
     "English (default 2)\n"},
    {"--log-db", "FILE|URL",
     "production log: a SQLite file, or postgresql://...; each\n"
     "chip command writes its row before the chip and after\n"},
    {"--help", nullptr, "this text; COMMAND --help for one command\n"},
    {"--version", nullptr, "the version and the files in use\n"},
};

// The help column: two spaces, the option and its argument in 20, a space.
constexpr int kOptionWidth = 20;

void PrintOption(const OptionSpec& option) {
    char head[64];
    std::snprintf(head, sizeof head, "%s%s%s", option.name, option.argument != nullptr ? " " : "",
                  option.argument != nullptr ? option.argument : "");
    std::printf("  %-*s ", kOptionWidth, head);
    for (const char* line = option.help; *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        const int length = end != nullptr ? int(end - line) : int(std::strlen(line));
        std::printf("%*s%.*s\n", line == option.help ? 0 : kOptionWidth + 3, "", length, line);
        line += length + (end != nullptr ? 1 : 0);
    }
}

} // namespace

const char* const kToolNotes =
    "--chip takes a chip name (letter case ignored) or \"Type,Maker,Name\".\n"
    "Results go to stdout; errors, warnings, notes and progress to stderr.\n"
    "Files, the chip's size and the output are checked before the chip is touched.\n"
    "SIGINT or SIGTERM stops a chip command at the next transfer (exit 130).\n"
    "Exit status: 0 done, 1 the operation failed (no programmer, no chip, not blank,\n"
    "mismatch, transfer failure, declined, output not written), 2 bad usage or bad\n"
    "input, 130 stopped.\n"
    "\nGang programming: one process per programmer, each with its own --device:\n"
    "  vantor-cli devices\n"
    "  vantor-cli --device 1 --json auto --chip W25Q32JV fw.bin > p1.json &\n"
    "  vantor-cli --device 2 --json auto --chip W25Q32JV fw.bin > p2.json &\n"
    "  wait\n";

bool CommandSpec::takes(std::string_view option) const {
    for (const OptionSpec& own : options) {
        if (option == own.name) {
            return true;
        }
    }
    return false;
}

std::span<const CommandSpec> AllCommands() {
    return kCommands;
}

std::span<const OptionSpec> GlobalOptions() {
    return kGlobalOptions;
}

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
    std::printf("\nOptions (before or after the command):\n");
    for (const OptionSpec& option : kGlobalOptions) {
        PrintOption(option);
    }
    std::printf("\nFile formats, by extension (anything else is raw bytes):\n");
    for (const DataFileFormat format : {DataFileFormat::IntelHex, DataFileFormat::SRecord,
                                        DataFileFormat::Capsule, DataFileFormat::Raw}) {
        std::printf("  %-5s %s\n", FormatWord(format), ExtensionPatterns(format).c_str());
    }
    std::printf("\n%s", kToolNotes);
}

void PrintCommandHelp(const CommandSpec& command) {
    std::printf("Usage: vantor-cli [OPTIONS] %s\n\n%s", command.synopsis, command.help);
}

} // namespace vantor
