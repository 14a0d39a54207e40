#pragma once
// What the chip engine and the chip commands need from the front end that
// runs them. The main window answers with its widgets, the command-line
// front end with a terminal, tests with a recorder; the engine itself never
// sees a widget.
#include <atomic>
#include <cstdint>
#include <string>

namespace vantor {

// The chip in the socket answers an ID that the selected record does not
// carry. Texts in the current language.
struct WrongChipFacts {
    std::string answeredId;   // "EF4016"
    std::string answeredPart; // "W25Q32JV, 4 MiB", or that no record has the ID
    std::string selectedPart; // "W25Q64JV, 8 MiB"
    std::string selectedId;   // "EF4017"
};

class EngineHost {
public:
    virtual ~EngineHost() = default;

    // Status panel 1: an operation's name, "Ready" after a close.
    virtual void setStatusText(const std::string& text) = 0;

    // The progress bar of the running operation.
    virtual void showProgress() = 0;
    virtual void setProgressMaximum(std::uint32_t maximum) = 0;
    virtual void setProgressPosition(std::uint32_t position) = 0;
    virtual void hideProgress() = 0;

    // Lets the front end handle what is pending (repaints, input, device
    // notices); called after every chunk, page or poll.
    virtual void processEvents() = 0;

    // "Error" box; "Info" box with Yes and No (true for Yes).
    virtual void showError(const std::string& text) = 0;
    virtual bool askYesNo(const std::string& text) = 0;
    // Whether to go on with the selected record although the chip answers
    // another ID. By default the yes/no question (the window's defaults to
    // No); a front end without a user answers from its own options.
    virtual bool confirmWrongChip(const WrongChipFacts& facts);

    // Locks (true) or unlocks the controls that could start something while
    // the programmer is open: tool bar and main panel, and whatever else the
    // front end keeps from touching the buffer or the programmer meanwhile.
    virtual void setLocked(bool locked) = 0;

    // Buffer <-> hex pane: the pane shows the buffer again after a read; edits
    // in the pane are taken into the buffer before a write or verify.
    virtual void refreshHexView() = 0;
    virtual void syncBufferFromEditor() = 0;

    // Item index of the speed box (0 = 12 MHz ... 5 = 375 kHz).
    virtual int speedIndex() const = 0;

    // A numbered line at the top of the log; the front end adds the prefix
    // from the one counter it shares with the connection lines.
    virtual void logLine(const std::string& text) = 0;
    // The line that ends an operation the user stopped: a log line too by
    // default; a terminal keeps it with the errors, never under "100%".
    virtual void logStop(const std::string& text) { logLine(text); }
    // No programmer could be opened: `text` says why (a refusal with what to
    // do, or "Not connected"). The window shows it as its error box; the
    // command line reports it with the command's result instead.
    virtual void noProgrammer(const std::string& text) { showError(text); }
    virtual void beep() = 0;
    // Status panel 3: the elapsed time of the last operation, "hh:mm:ss".
    virtual void setElapsedText(const std::string& text) = 0;

    // The local time of day as a fraction of a day (0.5 = noon).
    virtual double timeOfDay() const;
    // Where the front end keeps the operation times (the window's StartTime
    // and StopTime); nothing by default.
    virtual void setStartTime(double) {}
    virtual void setStopTime(double) {}

    // A chip command has ended (programmer closed, boxes answered): the
    // place for work deferred while it ran, such as a connection probe.
    virtual void chipCommandEnded() {}

    // Stop: the front end asks (Esc, the menu, a signal) and the engine ends
    // the running operation after the transfer in flight. Safe to call from
    // a signal handler; a command clears it when it starts.
    void requestStop() { StopFlag.store(true, std::memory_order_relaxed); }
    void clearStopRequest() { StopFlag.store(false, std::memory_order_relaxed); }
    bool stopRequested() const { return StopFlag.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> StopFlag{false};
};

// The local time of day as a fraction of a day, from the system clock.
double LocalTimeOfDay();

} // namespace vantor
