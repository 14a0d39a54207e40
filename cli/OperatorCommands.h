#pragma once
// What vantor-cli offers people at the bench on top of the chip commands:
// stopping on SIGINT/SIGTERM, the read-back options (verify --list,
// read --twice, write --verify), auto --unprotect and the checksum lines.
#include "buffer/Checksum.h"
#include "link/ChipEngine.h"
#include "link/EngineHost.h"

#include <cstdio>
#include <string>

namespace vantor {

struct OperatorOptions {
    bool list = false;        // verify --list
    bool twice = false;       // read --twice
    bool verifyAfter = false; // write --verify
    bool unprotect = false;   // auto --unprotect
};

// Takes `--list`, `--twice`, `--verify`, `--unprotect`; false for other names.
bool ParseOperatorFlag(const std::string& name, OperatorOptions& options);
// Empty when the flags suit `command`, else the usage error to show.
std::string OperatorFlagMisuse(const std::string& command, const OperatorOptions& options);

// While alive, SIGINT and SIGTERM ask `host` to stop the running chip
// operation at the next transfer; a second signal ends the process at once
// (for a programmer that no longer answers). The old handlers come back after.
class StopOnSignals {
public:
    explicit StopOnSignals(EngineHost& host);
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};

// One verify difference as `verify --list` prints it.
std::string DifferenceText(const ByteDifference& difference);

} // namespace vantor
