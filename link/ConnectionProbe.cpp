#include "link/ConnectionProbe.h"

#include "core/MessageTable.h"
#include "link/Protocol.h"
#include "link/TUsbBulk.h"

namespace vantor {

namespace {} // namespace

ConnectionProbe::Outcome ConnectionProbe::ProbeProgrammer() {
    if (Host.chipCommandBusy() || Link.isOpen()) {
        // A prog_open now would take the running operation's device from it.
        Pending = true;
        return Outcome::Deferred;
    }
    Pending = false;
    if (Link.prog_open(kProgrammerVendorId, kProgrammerProductId) == 1) {
        // Every activation probes; a line is news only when the programmer
        // has just come, or something else was logged since the last one.
        const bool stillOnTop = WasReady && !LastLine.empty() && Host.findLogLine(LastLine) == 0;
        if (!stillOnTop) {
            const std::string line = Host.nextLogPrefix() + Message(Msg::ProgrammerDetected);
            if (Host.findLogLine(line) != 0) {
                Host.insertLogLine(line);
                LastLine = line;
            }
        }
        WasReady = true;
        Link.USB_bulk_close();
        Host.setConnectionStatus(Message(Msg::Ready));
        return Outcome::Ready;
    }
    WasReady = false;
    Host.setConnectionStatus(Message(Msg::NotConnected));
    return Outcome::NotConnected;
}

void ConnectionProbe::chipCommandEnded() {
    if (Pending) {
        ProbeProgrammer();
    }
}

bool StatusPanelDrawnRed(const std::string& panelText) {
    return panelText == Message(Msg::NotConnected);
}

} // namespace vantor
