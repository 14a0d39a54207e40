// Chip command handlers of the main window: each hands the current chip to
// the shared chip commands (link/ChipCommands), which do the rest.
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"

#include <QCheckBox>

namespace vantor {

MainWindowHost& MainWindow::ChipHost() {
    if (!chipHost_)
        chipHost_ = std::make_shared<MainWindowHost>(*this);
    return *chipHost_;
}

bool MainWindow::ChipCommandBusy() const {
    return chipHost_ && chipHost_->Commands.busy();
}

void MainWindow::ProbeProgrammer() {
    ChipHost().probeProgrammer();
}

void MainWindow::ToolReadClick() {
    ChipHost().Commands.Read(CurrentChip());
}

void MainWindow::ToolEraseClick() {
    ChipHost().Commands.Erase(CurrentChip());
}

void MainWindow::ToolWriteClick() {
    ChipHost().Commands.Write(CurrentChip());
}

void MainWindow::ToolVerifyClick() {
    ChipHost().Commands.Verify(CurrentChip());
}

void MainWindow::ToolAutoClick() {
    ChipHost().Commands.Auto(
        CurrentChip(),
        AutoOptions{CheckBox1->isChecked(), CheckBox2->isChecked(), CheckBox3->isChecked()});
}

void MainWindow::ToolBankClick() {
    ChipHost().Commands.BlankCheck(CurrentChip());
}

} // namespace vantor
