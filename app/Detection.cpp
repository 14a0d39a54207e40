// Chip detection by ID (the Test button): asks the programmer what is in the
// socket, selects the matching record in the chip boxes and says what it
// found.
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "chipdb/ChipDetection.h"
#include "core/Prompts.h"

namespace vantor {

void MainWindow::BitBtn1Click() {
    if (!ChipChosen())
        return;
    MainWindowHost& host = ChipHost();
    // The programmer belongs to a running chip command; its lock normally
    // keeps this button from being pressed at all.
    if (host.Commands.busy() || host.Engine.holdsProgrammer())
        return;

    ChipIdReply reply{};
    const int answered = host.Engine.ReadChipId(CurrentChip(), reply.data());
    if (answered == 0 && host.Engine.failed()) {
        // The programmer was there but the exchange broke off: that is no
        // "Not connected", and the reply bytes mean nothing.
        ShowError(QString::fromStdString(TransferFailureText(*host.Engine.failure())));
        return;
    }
    const DetectionOutcome outcome = DecideDetection(answered, reply, Selection, LanguageIndex());
    // Logged before the box, so the other candidates are in view while it shows.
    if (!outcome.othersLogText.empty())
        LogLine(QString::fromStdString(outcome.othersLogText));
    ApplyDetection(outcome, Selection, [this](int t, int m, int n) { SelectChip(t, m, n); });
}

} // namespace vantor
