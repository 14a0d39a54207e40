#pragma once
// The command line read into Options: every option checked against the
// command it is given with, so nothing is refused after the chip is touched.
#include "cli/CliJob.h"

#include <string>

namespace vantor {

// A command line that cannot be run; the text says why.
struct UsageError {
    std::string text;
};

// Throws UsageError. --help and --version need no command; with --help a
// command's arguments go unchecked.
Options ParseOptions(int argc, char** argv);

} // namespace vantor
