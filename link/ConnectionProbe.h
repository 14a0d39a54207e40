#pragma once
// Tells the user whether a programmer is attached: a bus scan with the full
// identity check, closed again at once, on every activation of the main
// window and every device-change notification. Widgets stay outside: the
// window answers through ProbeHost.
#include <string>

namespace vantor {

class UsbTransport;
struct ProgrammerSlot;

// What the probe needs from the main window.
class ProbeHost {
public:
    virtual ~ProbeHost() = default;
    // True while a chip command holds the programmer open (from OpenProgrammer
    // or the start of ReadChipId to the matching close).
    virtual bool chipCommandBusy() const = 0;
    // The "%03d:" prefix of the log counter; advances the counter.
    virtual std::string nextLogPrefix() = 0;
    // Index of the first log line equal to `line`, -1 when there is none.
    virtual int findLogLine(const std::string& line) const = 0;
    // Inserts `line` as the new line 0 of the log pane.
    virtual void insertLogLine(const std::string& line) = 0;
    // Sets the text of status panel 1.
    virtual void setConnectionStatus(const std::string& text) = 0;
};

class ConnectionProbe {
public:
    enum class Outcome { Ready, NotConnected, Deferred };

    ConnectionProbe(UsbTransport& link, ProbeHost& host) : Link(link), Host(host) {}

    // Probes and reports: "Ready" and a numbered detection line (message 11)
    // when the programmer answers (the line only when the last one is not
    // still the top line of the log), "Not connected" otherwise. While a chip
    // command holds the programmer open the transport is left alone and the
    // probe is deferred until chipCommandEnded(). An open transport counts as
    // busy too, whatever the host says.
    Outcome ProbeProgrammer();
    // To be called after every CloseProgrammer: runs a probe that arrived
    // while the command ran (the programmer may have gone meanwhile).
    void chipCommandEnded();
    bool probePending() const { return Pending; }

private:
    void noteRefusal();

    UsbTransport& Link;
    ProbeHost& Host;
    bool Pending = false;
    std::string LastRefusal; // the refusal line last logged, "" when none
    bool WasReady = false;   // the last probe found the programmer
    std::string LastLine;    // the detection line this probe logged last
};

// Why a programmer that is present was refused (permission, busy), in the
// current language, naming where it is and what to do.
std::string ProgrammerRefusalText(const ProgrammerSlot& slot);
// The same refusal, short enough for the status panel.
std::string ProgrammerRefusalStatus(const ProgrammerSlot& slot);
// What a command that found no programmer to open says: a USB library that
// would not load (named), the refusal of one present, else "Not connected"
// (message 13).
std::string NoProgrammerText(const UsbTransport& link);

// Status panel 1 is drawn in pure red exactly while its text equals "Not
// connected" (message 13) or a refusal's status in the current language; any
// other text, including those in a former language, in the normal
// button-text colour.
bool StatusPanelDrawnRed(const std::string& panelText);

} // namespace vantor
