#include "cli/OperatorCommands.h"

#include "core/MessageTable.h"

#include <csignal>

namespace vantor {

namespace {

EngineHost* g_stopHost = nullptr;
volatile std::sig_atomic_t g_signalled = 0;
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};

extern "C" void OnStopSignal(int signal) {
    if (g_signalled != 0) {
        // Asked twice: the programmer is not getting to its next transfer.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_signalled = 1;
    if (g_stopHost != nullptr) {
        g_stopHost->requestStop(); // a lock-free atomic store
    }
}

} // namespace

bool ParseOperatorFlag(const std::string& name, OperatorOptions& options) {
    bool* flag = name == "--list"        ? &options.list
                 : name == "--twice"     ? &options.twice
                 : name == "--verify"    ? &options.verifyAfter
                 : name == "--unprotect" ? &options.unprotect
                                         : nullptr;
    if (flag == nullptr) {
        return false;
    }
    *flag = true;
    return true;
}

std::string OperatorFlagMisuse(const std::string& command, const OperatorOptions& options) {
    if (options.list && command != "verify") {
        return "--list belongs to verify";
    }
    if (options.twice && command != "read") {
        return "--twice belongs to read";
    }
    if (options.verifyAfter && command != "write") {
        return "--verify belongs to write";
    }
    if (options.unprotect && command != "auto") {
        return "--unprotect belongs to auto";
    }
    return {};
}

StopOnSignals::StopOnSignals(EngineHost& host) {
    g_stopHost = &host;
    g_signalled = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_oldInt);
    sigaction(SIGTERM, &action, &g_oldTerm);
}

StopOnSignals::~StopOnSignals() {
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    g_stopHost = nullptr;
}

std::string DifferenceText(const ByteDifference& d) {
    char values[48];
    std::snprintf(values, sizeof values, " %02X, ", unsigned(d.chip));
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, " %02X", unsigned(d.buffer));
    return HexAddressText(d.address) + ": " + Message(Own::DifferChip) + values +
           Message(Own::DifferBuffer) + buffer;
}

} // namespace vantor
