#include "cli/CliHost.h"

#include "core/MessageTable.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <unistd.h>

namespace vantor {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

bool IsTerminal(std::FILE* file) {
    return ::isatty(::fileno(file)) != 0;
}

std::string RateText(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond >= 1024.0 * 1024.0) {
        std::snprintf(text, sizeof text, "%.1f MiB/s", bytesPerSecond / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%.1f KiB/s", bytesPerSecond / 1024.0);
    }
    return text;
}

} // namespace

// ---- CliPrompts ---------------------------------------------------------------------

CliPrompts::CliPrompts(bool assumeYes, CliReport& report, std::FILE* err)
    : AssumeYes(assumeYes), Report(report), Err(err) {}

void CliPrompts::complain(const std::string& text) {
    ++Complaints;
    // Every file message names its file, once.
    const bool named = Subject.empty() || text.find(Subject) != std::string::npos;
    Report.error(named ? text : Subject + ": " + text);
}

void CliPrompts::showError(const std::string& text) {
    complain(text);
}

void CliPrompts::showFileMessage(const std::string& text) {
    complain(text);
}

void CliPrompts::showWarning(const std::string& text) {
    const bool named = Subject.empty() || text.find(Subject) != std::string::npos;
    Report.warning(named ? text : Subject + ": " + text);
}

void CliPrompts::showInformation(const std::string& text) {
    const bool named = Subject.empty() || text.find(Subject) != std::string::npos;
    Report.note(named ? text : Subject + ": " + text);
}

bool CliPrompts::askYesNo(const std::string& text) {
    if (const auto known = Answers.find(text); known != Answers.end()) {
        return known->second;
    }
    if (AssumeYes) {
        Report.note(text + " [yes]");
        return true;
    }
    if (IsTerminal(stdin) && IsTerminal(Err)) {
        std::fprintf(Err, "%s [y/N] ", text.c_str());
        std::fflush(Err);
        std::string answer;
        if (std::getline(std::cin, answer) && !answer.empty() &&
            (answer[0] == 'y' || answer[0] == 'Y')) {
            return true;
        }
        ++Declined;
        return false;
    }
    // Nobody to ask: a script that wants Yes says so with --yes.
    Report.error(text + " [no: --yes answers yes]");
    ++Declined;
    return false;
}

// ---- CliHost -------------------------------------------------------------------------

CliHost::CliHost(int speedIndex, CliReport& report, std::FILE* err)
    : Speed(speedIndex), Report(report), Err(err), Terminal(IsTerminal(err)) {}

void CliHost::setLocked(bool locked) {
    if (locked && Opened) {
        Opened();
    }
}

void CliHost::showProgress() {
    if (!Report.chatty()) {
        return; // no bar and no progress lines under --quiet
    }
    Visible = true;
    Maximum = 0;
    Position = 0;
    LastQuarter = 0;
    Failed = false;
    CountsBytes = Status != Message(Msg::EraseFlash);
    Started = Clock::now();
    LastDrawn = Started - kRedrawEvery;
    if (!Terminal) {
        std::fprintf(Err, "%s\n", Status.c_str());
        std::fflush(Err);
    }
}

void CliHost::setProgressMaximum(std::uint32_t maximum) {
    Maximum = maximum;
}

void CliHost::setProgressPosition(std::uint32_t position) {
    if (!Visible) {
        return;
    }
    Position = position;
    if (Terminal) {
        const auto now = Clock::now();
        if (now - LastDrawn >= kRedrawEvery) {
            LastDrawn = now;
            draw(false);
        }
        return;
    }
    // Plain lines at every quarter, for logs that are read later.
    if (Maximum == 0) {
        return;
    }
    const int quarter = int(std::uint64_t(position) * 4 / Maximum);
    if (quarter > LastQuarter && quarter < 4) {
        LastQuarter = quarter;
        std::fprintf(Err, "%s %d%%\n", Status.c_str(), quarter * 25);
        std::fflush(Err);
    }
}

void CliHost::draw(bool final) {
    // Positions are reported as each chunk starts: an operation that ended
    // without an error has done its last chunk too.
    const std::uint32_t shown = final ? Maximum : Position;
    const double fraction = Maximum == 0 ? 0.0 : std::min(1.0, double(shown) / double(Maximum));
    const int filled = int(fraction * kBarWidth);
    std::string bar(std::size_t(filled), '#');
    bar.append(std::size_t(kBarWidth - filled), '-');
    std::string rate;
    const double seconds = std::chrono::duration<double>(Clock::now() - Started).count();
    if (CountsBytes && seconds > 0.0) {
        rate = "  " + RateText(double(shown) / seconds);
    }
    std::fprintf(Err, "\r%s [%s] %3d%%%s\033[K", Status.c_str(), bar.c_str(), int(fraction * 100.0),
                 rate.c_str());
    if (final) {
        std::fputc('\n', Err);
    }
    std::fflush(Err);
}

void CliHost::hideProgress() {
    if (!Visible) {
        return;
    }
    Visible = false;
    if (Terminal) {
        if (!Failed) {
            draw(true);
        } // else the error line already ended the bar's line
    } else if (Maximum != 0 && !Failed) {
        std::fprintf(Err, "%s 100%%\n", Status.c_str());
        std::fflush(Err);
    }
}

void CliHost::showError(const std::string& text) {
    // An empty chip is what a successful read found, not a failure.
    if (text == Message(Msg::ChipEmpty)) {
        Report.result(text);
        return;
    }
    if (Visible && Terminal) {
        std::fputc('\n', Err); // below the bar, not over it
    }
    Failed = true;
    CurrentPrompts().showError(text);
}

bool CliHost::askYesNo(const std::string& text) {
    return CurrentPrompts().askYesNo(text);
}

bool CliHost::confirmWrongChip(const WrongChipFacts& f) {
    if (ForceWrongChip) {
        Report.note(FormatMessage(Own::WrongChipAsk,
                                  {f.answeredId, f.answeredPart, f.selectedPart, f.selectedId}) +
                    " [yes: --force]");
        return true;
    }
    Report.error(FormatMessage(Own::WrongChipRefused,
                               {f.answeredId, f.answeredPart, f.selectedPart, f.selectedId}));
    return false;
}

void CliHost::logLine(const std::string& text) {
    Report.result(text);
}

void CliHost::logStop(const std::string& text) {
    if (Visible && Terminal) {
        std::fputc('\n', Err); // below the bar, not over it
    }
    Failed = true;
    Report.warning(text);
}

void CliHost::setElapsedText(const std::string& text) {
    Report.note("Time " + text);
}

} // namespace vantor
