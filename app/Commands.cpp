// Chip command handlers of the main window: each hands the current chip to
// the shared chip commands (link/ChipCommands), which do the rest.
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "app/ProductionLine.h"
#include "core/MessageTable.h"

#include <QCheckBox>
#include <algorithm>
#include <vector>

namespace vantor {

namespace {

// The image as it was before a read: a read that is stopped or breaks off
// must not leave a mix of new chip data and the old image behind, which the
// checksum would describe and Save would store.
class ImageBeforeRead {
public:
    explicit ImageBeforeRead(MainWindow& form) : Form(form) {
        Form.SyncBufferFromEditor(); // edits in the pane belong to the image kept
        const std::size_t n =
            std::min<std::size_t>(Form.CurrentChip().FlashSize, DataBuffer::size());
        Bytes.assign(Form.Buffer.data(), Form.Buffer.data() + n);
        UsedLength = Form.Buffer.UsedLength;
    }
    void restoreAfter(CommandResult result) {
        if (result != CommandResult::Stopped && result != CommandResult::TransferFailed)
            return;
        std::copy(Bytes.begin(), Bytes.end(), Form.Buffer.data());
        Form.Buffer.UsedLength = UsedLength;
        Form.RefreshHexView();
        Form.LogLine(QString::fromStdString(Message(Own::BufferKeptAfterRead)));
    }

private:
    MainWindow& Form;
    std::vector<std::uint8_t> Bytes;
    std::int32_t UsedLength = 0;
};

} // namespace

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

bool MainWindow::ChipChosen() {
    // Refused silently while a command runs, as the commands themselves do.
    if (ChipCommandBusy())
        return false;
    // Without a record (a broken settings file, an empty database) the chip
    // boxes show no chip; nothing may run on a made-up size and page.
    if (Selection.CurrentChip() != nullptr)
        return true;
    ShowError(QString::fromStdString(Message(Own::NoChipSelected)));
    return false;
}

void MainWindow::RunRead(bool twice) {
    if (!ChipChosen())
        return;
    ImageBeforeRead before(*this);
    const ChipRecord& chip = CurrentChip();
    before.restoreAfter(Production->run("read", [this, &chip, twice] {
        return twice ? ChipHost().Commands.ReadTwice(chip) : ChipHost().Commands.Read(chip);
    }));
}

void MainWindow::ToolReadClick() {
    RunRead(false);
}

void MainWindow::ToolEraseClick() {
    if (ChipChosen())
        Production->run("erase", [this] { return ChipHost().Commands.Erase(CurrentChip()); });
}

void MainWindow::ToolWriteClick() {
    if (ChipChosen())
        Production->run("write", [this] { return ChipHost().Commands.Write(CurrentChip()); });
}

void MainWindow::ToolVerifyClick() {
    if (!ChipChosen())
        return;
    Production->run("verify", [this] {
        CommandResult result = CommandResult::Completed;
        MarkVerifyDifferences([&] { result = ChipHost().Commands.Verify(CurrentChip()); });
        return result;
    });
}

void MainWindow::ToolAutoClick() {
    if (!ChipChosen())
        return;
    const AutoOptions options{CheckBox1->isChecked(), CheckBox2->isChecked(),
                              CheckBox3->isChecked()};
    Production->run("auto", [this, options] {
        CommandResult result = CommandResult::Completed;
        MarkVerifyDifferences([&] { result = ChipHost().Commands.Auto(CurrentChip(), options); });
        return result;
    });
}

void MainWindow::ToolBankClick() {
    if (ChipChosen())
        Production->run("blank", [this] { return ChipHost().Commands.BlankCheck(CurrentChip()); });
}

} // namespace vantor
