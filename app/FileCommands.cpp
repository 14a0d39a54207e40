// File open, save and fill of the main window.
#include "app/TForm1.h"
#include "buffer/DataFile.h"
#include "buffer/TForm4.h"

namespace vantor {

namespace {

DataFileHooks HooksFor(TForm1& form) {
    return DataFileHooks{
        [&form] { form.RefreshHexView(); }, [&form] { form.SyncBufferFromEditor(); },
        [&form](const std::string& text) { form.LogLine(QString::fromStdString(text)); }};
}

} // namespace

// The buffer is the running operation's source or destination: nothing may
// replace it until the programmer is closed again.
void TForm1::ToolOpenClick() {
    if (!ChipCommandBusy())
        OpenDataFileCommand(Buffer, HooksFor(*this));
}

void TForm1::ToolSaveClick() {
    if (!ChipCommandBusy())
        SaveDataFileCommand(Buffer, CurrentChip().FlashSize, HooksFor(*this));
}

void TForm1::ToolFillClick() {
    if (!ChipCommandBusy() && form4_)
        form4_->ShowFill(CurrentChip().FlashSize);
}

} // namespace vantor
