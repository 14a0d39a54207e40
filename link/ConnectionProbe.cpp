#include "link/ConnectionProbe.h"

#include "core/MessageTable.h"
#include "link/Protocol.h"
#include "link/UsbTransport.h"

namespace vantor {

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
        LastRefusal.clear();
        Host.setConnectionStatus(Message(Msg::Ready));
        return Outcome::Ready;
    }
    noteRefusal();
    WasReady = false;
    const auto& refused = Link.refusal();
    Host.setConnectionStatus(refused ? ProgrammerRefusalStatus(*refused)
                                     : Message(Msg::NotConnected));
    return Outcome::NotConnected;
}

void ConnectionProbe::noteRefusal() {
    // One line when a refusal first shows or its cause changes, not one per
    // probe: device-change notices and activations come often.
    const auto& refused = Link.refusal();
    const std::string text = refused ? ProgrammerRefusalText(*refused) : std::string();
    if (text != LastRefusal && !text.empty()) {
        Host.insertLogLine(Host.nextLogPrefix() + text);
    }
    LastRefusal = text;
}

std::string ProgrammerRefusalText(const ProgrammerSlot& slot) {
    return FormatMessage(slot.access == ProgrammerSlot::Access::Busy
                             ? Own::ProgrammerBusy
                             : Own::ProgrammerPermissionDenied,
                         {slot.location()});
}

std::string ProgrammerRefusalStatus(const ProgrammerSlot& slot) {
    return Message(slot.access == ProgrammerSlot::Access::Busy ? Own::StatusBusy
                                                               : Own::StatusPermissionDenied);
}

std::string NoProgrammerText(const UsbTransport& link) {
    if (!link.loadError().empty()) {
        return FormatMessage(Own::UsbLibraryNotLoadable, {link.libraryName(), link.loadError()});
    }
    const auto& refused = link.refusal();
    return refused ? ProgrammerRefusalText(*refused) : Message(Msg::NotConnected);
}

void ConnectionProbe::chipCommandEnded() {
    if (Pending) {
        ProbeProgrammer();
    }
}

bool StatusPanelDrawnRed(const std::string& panelText) {
    return panelText == Message(Msg::NotConnected) ||
           panelText == Message(Own::StatusPermissionDenied) ||
           panelText == Message(Own::StatusBusy);
}

} // namespace vantor
