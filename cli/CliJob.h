#pragma once
// What every vantor-cli command is handed: the options as parsed, and for
// chip commands the chip, the programmer and the report. Chip commands live
// in functions of the form `int RunX(ChipJob&)` so new ones slot in beside
// the others.
#include "buffer/DataBuffer.h"
#include "chipdb/ChipRecord.h"
#include "cli/CliHost.h"
#include "cli/CliReport.h"
#include "cli/OperatorCommands.h"
#include "core/MessageTable.h"
#include "link/ChipCommands.h"
#include "link/ChipEngine.h"
#include "link/UsbTransport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor {

// 130 is what a stopped operation (SIGINT, SIGTERM) exits with.
enum Exit : int { kDone = 0, kFailed = 1, kBadInput = 2, kStopped = 130 };

struct CommandSpec;

struct Options {
    std::string db;
    std::string usbLibrary = UsbTransport::kDefaultLibrary;
    int speed = 0;
    bool yes = false;
    int language = English;
    bool help = false;
    bool version = false;
    bool strict = false;
    CliReport::Mode output = CliReport::Mode::Human;
    std::optional<DeviceChoice> device;
    std::string deviceText; // as given, for messages
    const CommandSpec* command = nullptr;
    std::vector<std::string> args;
    std::optional<std::string> chip;
    std::optional<std::uint32_t> size;
    AutoOptions autoOptions;
    bool autoFlagGiven = false;
    OperatorOptions operatorOptions;
};

// The programmer side of one command, opened by the engine when it needs it.
struct Programmer {
    Programmer(const Options& o, CliReport& report)
        : Link(o.usbLibrary), Host(o.speed, report), Engine(Link, Buffer, Host),
          Commands(Engine, Host) {
        if (o.device) {
            Link.choose(*o.device);
        }
    }
    UsbTransport Link;
    DataBuffer Buffer;
    CliHost Host;
    ChipEngine Engine;
    ChipCommands Commands;
};

class CliPrompts;

struct ChipJob {
    const Options& options;
    CliPrompts& prompts;
    CliReport& report;
    const ChipRecord& chip;
    Programmer& programmer;
    // Status of a finished engine command: the exit status, with what the
    // user must know about it reported (which programmer, why none, a
    // failed finish block).
    int finished(CommandResult result);
};

} // namespace vantor
