// Chip command handlers of the main window: each hands the current chip to
// the shared chip commands (link/ChipCommands), which do the rest.
#include "app/MainWindowHost.h"
#include "app/TForm1.h"

#include <QCheckBox>

namespace vantor {

MainWindowHost& TForm1::ChipHost() {
    if (!chipHost_)
        chipHost_ = std::make_shared<MainWindowHost>(*this);
    return *chipHost_;
}

bool TForm1::ChipCommandBusy() const {
    return chipHost_ && chipHost_->Commands.busy();
}

void TForm1::ProbeProgrammer() {
    ChipHost().probeProgrammer();
}

void TForm1::ToolReadClick() {
    ChipHost().Commands.Read(CurrentChip());
}

void TForm1::ToolEraseClick() {
    ChipHost().Commands.Erase(CurrentChip());
}

void TForm1::ToolWriteClick() {
    ChipHost().Commands.Write(CurrentChip());
}

void TForm1::ToolVerifyClick() {
    ChipHost().Commands.Verify(CurrentChip());
}

void TForm1::ToolAutoClick() {
    ChipHost().Commands.Auto(
        CurrentChip(),
        AutoOptions{CheckBox1->isChecked(), CheckBox2->isChecked(), CheckBox3->isChecked()});
}

void TForm1::ToolBankClick() {
    ChipHost().Commands.BlankCheck(CurrentChip());
}

} // namespace vantor
