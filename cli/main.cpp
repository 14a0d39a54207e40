// vantor-cli: the chip commands, data file conversion and the chip list from
// a shell. Exit status 0 done, 1 the operation failed, 2 bad usage or input.
#include "buffer/DataFile.h"
#include "cli/CliFiles.h"
#include "cli/CliHost.h"
#include "cli/CliJob.h"
#include "cli/CliOptions.h"
#include "cli/CliReport.h"
#include "cli/CliRuns.h"
#include "cli/CliSteps.h"
#include "cli/CommandTable.h"
#include "core/FilePlaces.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

namespace vantor {
namespace {

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
