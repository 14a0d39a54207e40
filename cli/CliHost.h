#pragma once
// The terminal as the engine and the file codecs see it: boxes become lines
// on stderr, questions are answered by --yes (or at the terminal), the
// progress bar is drawn on stderr when that is a terminal and reported in
// plain lines when it is not. Results (the "... Complete!" lines) go to
// stdout.
#include "core/Prompts.h"
#include "link/EngineHost.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vantor {

class CliPrompts : public Prompts {
public:
    // `assumeYes`: every question is answered Yes. Otherwise a question is
    // asked at the terminal when stdin and stderr are one, and answered No
    // when they are not.
    CliPrompts(bool assumeYes, std::FILE* err = stderr);

    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void showInformation(const std::string& text) override;
    void showFileMessage(const std::string& text) override;
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

private:
    bool AssumeYes;
    std::FILE* Err;
    int Complaints = 0;
    int Declined = 0;
    std::string Subject;
};

class CliHost : public EngineHost {
public:
    CliHost(int speedIndex, std::FILE* out = stdout, std::FILE* err = stderr);

    void setStatusText(const std::string& text) override { Status = text; }
    void showProgress() override;
    void setProgressMaximum(std::uint32_t maximum) override;
    void setProgressPosition(std::uint32_t position) override;
    void hideProgress() override;
    void processEvents() override {}
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void setLocked(bool) override {}
    void refreshHexView() override {}
    void syncBufferFromEditor() override {}
    int speedIndex() const override { return Speed; }
    void logLine(const std::string& text) override;
    void beep() override {}
    void setElapsedText(const std::string& text) override;

private:
    using Clock = std::chrono::steady_clock;
    void draw(bool final);

    int Speed;
    std::FILE* Out;
    std::FILE* Err;
    bool Terminal;
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
