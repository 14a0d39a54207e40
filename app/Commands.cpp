// Chip command handlers of the main window: each hands the current chip to
// the shared chip commands (link/ChipCommands), which do the rest.
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "app/ProductionLine.h"

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
    Production->run("read", [this] { return ChipHost().Commands.Read(CurrentChip()); });
}

void MainWindow::ToolEraseClick() {
    Production->run("erase", [this] { return ChipHost().Commands.Erase(CurrentChip()); });
}

void MainWindow::ToolWriteClick() {
    Production->run("write", [this] { return ChipHost().Commands.Write(CurrentChip()); });
}

void MainWindow::ToolVerifyClick() {
    Production->run("verify", [this] { return ChipHost().Commands.Verify(CurrentChip()); });
}

void MainWindow::ToolAutoClick() {
    Production->run("auto", [this] {
        return ChipHost().Commands.Auto(
            CurrentChip(),
            AutoOptions{CheckBox1->isChecked(), CheckBox2->isChecked(), CheckBox3->isChecked()});
    });
}

void MainWindow::ToolBankClick() {
    Production->run("blank", [this] { return ChipHost().Commands.BlankCheck(CurrentChip()); });
}

} // namespace vantor
