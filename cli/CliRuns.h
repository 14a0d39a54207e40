#pragma once
// Each vantor-cli command's run, once its options are parsed and the report
// and prompts are set up. Each returns the exit status.
#include "cli/CliHost.h"
#include "cli/CliJob.h"
#include "cli/CliReport.h"

namespace vantor {

// The database listing (chips) and the bus listing (devices).
int RunChips(const Options& o, CliPrompts& prompts, CliReport& report);
int RunDevices(const Options& o, CliReport& report);

// The file commands, with no programmer: convert, and checksum of a FILE.
int RunConvert(const Options& o, CliPrompts& prompts);
int RunFileChecksum(const Options& o, CliPrompts& prompts, CliReport& report);

// The commands that ask the programmer: detect, and those on a chip
// --chip names.
int RunChipCommand(const Options& o, CliPrompts& prompts, CliReport& report);

} // namespace vantor
