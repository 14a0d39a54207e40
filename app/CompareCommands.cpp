// Compare: the bytes in which the hex pane differs from the chip (after a
// verify) or from a file, marked in the pane, counted, and stepped through.
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "buffer/DataFile.h"
#include "controls/HexDifferences.h"
#include "controls/HexEditorControl.h"
#include "controls/HexFind.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <algorithm>
#include <vector>

namespace vantor {

namespace {

// Shows the marks and puts the caret on the first of them.
void ShowMarks(HexEditorControl& pane, hex::DifferenceMap found) {
    const bool any = found.count() != 0;
    pane.setDifferences(std::move(found));
    if (any) {
        // Forward from the last byte wraps round to the first mark.
        hex::GoToOffset(pane.core(), pane.core().size() - 1);
        pane.goToDifference(true);
    }
}

} // namespace

void MainWindow::MarkVerifyDifferences(const std::function<void()>& command) {
    hex::DifferenceMap found;
    found.reset(FlashEditor->GetDataSize());
    ChipEngine& engine = ChipHost().Engine;
    engine.OnDifference = [&found](const ByteDifference& d) { found.mark(d.address); };
    command();
    engine.OnDifference = nullptr;
    if (found.count() == 0)
        return;
    LogLine(QString::fromStdString(
        FormatMessage(Own::DifferencesMarked, {std::to_string(found.count())})));
    ShowMarks(*FlashEditor, std::move(found));
}

void MainWindow::CompareWithFileClick() {
    if (ChipCommandBusy())
        return;
    const std::string path = CurrentPrompts().chooseOpenFile("", OpenFileFilter());
    if (!path.empty())
        CompareWithFile(QString::fromStdString(path));
}

bool MainWindow::CompareWithFile(const QString& path) {
    if (ChipCommandBusy())
        return false;
    const std::string file = path.toStdString();
    // Read by the Open rules into a buffer of its own: what Open would put
    // in the image, 0xFF where the file says nothing.
    std::vector<std::uint8_t> other(DataBuffer::size(), 0xFF);
    if (LoadDataFile(file, other.data(), DataBuffer::size()) <= 0)
        return false; // the loader has said why
    const hex::HexEditorCore& core = FlashEditor->core();
    const std::size_t count = std::min<std::size_t>(core.size(), other.size());
    hex::DifferenceMap found;
    found.reset(core.size());
    hex::MarkDifferences(found, core.data(), other.data(), count);
    if (found.count() == 0) {
        LogLine(QString::fromStdString(FormatMessage(Own::CompareSame, {file})));
    } else {
        const std::size_t first = *found.next(found.size() - 1, true);
        LogLine(QString::fromStdString(
            FormatMessage(Own::CompareDiffer, {file, std::to_string(found.count()),
                                               HexAddressText(std::uint32_t(first))})));
    }
    ShowMarks(*FlashEditor, std::move(found));
    return true;
}

bool MainWindow::GoToDifference(bool forward) {
    if (FlashEditor->differences().count() == 0) {
        CurrentPrompts().showInformation(Message(Own::NoDifferencesMarked));
        return false;
    }
    return FlashEditor->goToDifference(forward);
}

} // namespace vantor
