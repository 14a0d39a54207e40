#pragma once
// vantor-cli's commands and options as plain data: --help prints from it,
// and the man page's lists and the bash completion are made from it at
// build time, so the three cannot drift apart. Nothing here needs the
// engine, the database or Qt.
#include <cstddef>
#include <span>
#include <string_view>

namespace vantor {

enum class ChipArg { None, Optional, Required };

// One option: "--chip" with its argument's name ("NAME"), or a flag
// (argument null). The help text may run over several lines, each ended
// by '\n'.
struct OptionSpec {
    const char* name;
    const char* argument;
    const char* help;
};

// One command. `options` are the ones it takes besides the global ones;
// `help` is the paragraph `COMMAND --help` prints under the synopsis.
struct CommandSpec {
    const char* name;
    std::size_t minArgs;
    std::size_t maxArgs;
    ChipArg chip;
    const char* synopsis;
    const char* help;
    std::span<const OptionSpec> options;

    // Whether `option` ("--size") is one of this command's own options.
    bool takes(std::string_view option) const;
};

// Every command, in the order --help lists them.
std::span<const CommandSpec> AllCommands();
// Options every command takes, before or after the command's name.
std::span<const OptionSpec> GlobalOptions();
// What --help says after the options: --chip's forms, where output goes,
// exit statuses and an example.
extern const char* const kToolNotes;

const CommandSpec* FindCommand(std::string_view name);

void PrintToolHelp();
void PrintCommandHelp(const CommandSpec& command);

} // namespace vantor
