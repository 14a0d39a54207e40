#pragma once
// The terminal as the engine and the file codecs see it: boxes become lines
// on stderr, questions are answered by --yes (or at the terminal), the
// progress bar is drawn on stderr when that is a terminal and reported in
// plain lines when it is not. Results (the "... Complete!" lines) go to
// the report: stdout, or the JSON object.
#include "cli/CliReport.h"
#include "core/Prompts.h"
#include "link/EngineHost.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace vantor {

class CliPrompts : public Prompts {
public:
    // `assumeYes`: every question is answered Yes. Otherwise a question is
    // asked at the terminal when stdin and stderr are one, and answered No
    // when they are not.
    CliPrompts(bool assumeYes, CliReport& report, std::FILE* err = stderr);

    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void showInformation(const std::string& text) override;
    void showFileMessage(const std::string& text) override;
    void showWarning(const std::string& text) override;
    std::string chooseOpenFile(const std::string&, const std::string&) override { return {}; }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return {}; }

    // Errors and file messages shown so far: a load that returns nothing
    // after one of them was refused, not empty.
    int complaints() const { return Complaints; }
    // Questions answered No so far.
    int declined() const { return Declined; }
    // Named in front of the messages while set: the file being loaded, so
    // the codec's message says which file it refused.
    void setSubject(std::string subject) { Subject = std::move(subject); }
    // `question` was answered already (before the chip was touched): it
    // gets the same answer without asking again.
    void answered(const std::string& question, bool yes) { Answers[question] = yes; }

private:
    void complain(const std::string& text);

    bool AssumeYes;
    CliReport& Report;
    std::FILE* Err;
    std::map<std::string, bool> Answers;
    int Complaints = 0;
    int Declined = 0;
    std::string Subject;
};

class CliHost : public EngineHost {
public:
    CliHost(int speedIndex, CliReport& report, std::FILE* err = stderr);

    void setStatusText(const std::string& text) override { Status = text; }
    void showProgress() override;
    void setProgressMaximum(std::uint32_t maximum) override;
    void setProgressPosition(std::uint32_t position) override;
    void hideProgress() override;
    void processEvents() override {}
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    // Refused (shown) unless --force: nobody at a script's end can look at
    // the chip.
    bool confirmWrongChip(const WrongChipFacts& facts) override;
    bool ForceWrongChip = false;
    void setLocked(bool locked) override;
    void refreshHexView() override {}
    void syncBufferFromEditor() override {}
    int speedIndex() const override { return Speed; }
    void logLine(const std::string& text) override;
    // The stop line goes with the errors (stderr, --quiet too): a result a
    // script must see, and the bar never reaches 100% after it.
    void logStop(const std::string& text) override;
    // Said by the command's report, with its result word (see ReportNoProgrammer).
    void noProgrammer(const std::string&) override {}
    void beep() override {}
    void setElapsedText(const std::string& text) override;
    // Called at every open of the programmer (the controls locked).
    void onOpened(std::function<void()> call) { Opened = std::move(call); }

private:
    using Clock = std::chrono::steady_clock;
    void draw(bool final);

    int Speed;
    CliReport& Report;
    std::FILE* Err;
    bool Terminal;
    std::function<void()> Opened;
    std::string Status;
    bool Visible = false;
    // The erase counts status polls, not bytes: no rate for it.
    bool CountsBytes = true;
    std::uint32_t Maximum = 0;
    std::uint32_t Position = 0;
    int LastQuarter = 0;
    bool Failed = false; // an error was shown while the bar ran
    Clock::time_point Started;
    Clock::time_point LastDrawn;
};

} // namespace vantor
