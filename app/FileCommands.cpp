// File open, save and fill of the main window.
#include "app/MainWindow.h"
#include "buffer/DataFile.h"
#include "buffer/FillDialog.h"

namespace vantor {

namespace {

DataFileHooks HooksFor(MainWindow& form) {
    return DataFileHooks{
        [&form] { form.RefreshHexView(); }, [&form] { form.SyncBufferFromEditor(); },
        [&form](const std::string& text) { form.LogLine(QString::fromStdString(text)); }};
}

} // namespace

// The buffer is the running operation's source or destination: nothing may
// replace it until the programmer is closed again.
void MainWindow::ToolOpenClick() {
    if (!ChipCommandBusy())
        OpenDataFileCommand(Buffer, HooksFor(*this));
}

void MainWindow::ToolSaveClick() {
    if (!ChipCommandBusy())
        SaveDataFileCommand(Buffer, CurrentChip().FlashSize, HooksFor(*this));
}

void MainWindow::ToolFillClick() {
    if (!ChipCommandBusy() && form4_)
        form4_->ShowFill(CurrentChip().FlashSize);
}

} // namespace vantor
