// File open, save and fill of the main window, the recent files and a file
// dropped on the window.
#include "app/MainWindow.h"
#include "app/RecentFiles.h"
#include "buffer/DataFile.h"
#include "buffer/FillDialog.h"
#include "controls/HexEditorControl.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace vantor {

namespace {

DataFileHooks HooksFor(MainWindow& form) {
    return DataFileHooks{
        [&form] { form.RefreshHexView(); }, [&form] { form.SyncBufferFromEditor(); },
        [&form](const std::string& text) { form.LogLine(QString::fromStdString(text)); }};
}

// The one local file a drag carries, or nothing.
QString DroppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1)
        return {};
    const QUrl url = mime->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

} // namespace

// The buffer is the running operation's source or destination: nothing may
// replace it until the programmer is closed again.
void MainWindow::ToolOpenClick() {
    if (ChipCommandBusy())
        return;
    const std::string path = CurrentPrompts().chooseOpenFile("", OpenFileFilter());
    if (!path.empty())
        OpenPath(QString::fromStdString(path), false);
}

bool MainWindow::OpenPath(const QString& path, bool askFirst) {
    if (ChipCommandBusy())
        return false;
    const std::string file = path.toStdString();
    if (askFirst && FlashEditor->GetModified() &&
        !CurrentPrompts().askYesNo(FormatMessage(Own::ReplaceEditedBuffer, {file})))
        return false;
    const int32_t loaded = LoadIntoDataBuffer(Buffer, file);
    // The pane and the log show the attempt whether or not it loaded.
    RefreshHexView();
    LogLine(QString::fromStdString(Message(Msg::Open) + file));
    if (loaded > 0) {
        recent_->add(QFileInfo(path).absoluteFilePath().toStdString());
        RebuildRecentMenu();
    }
    return loaded > 0;
}

void MainWindow::OpenRecent(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        // The file went away: the buffer stays as it is, the entry goes.
        recent_->remove(path.toStdString());
        RebuildRecentMenu();
        ShowError(
            QString::fromStdString(FormatMessage(Own::RecentFileMissing, {path.toStdString()})));
        return;
    }
    OpenPath(path, true);
}

void MainWindow::RebuildRecentMenu() {
    RecentMenu->clear();
    int number = 1;
    for (const std::string& file : recent_->paths()) {
        const QString path = QString::fromStdString(file);
        QAction* item = RecentMenu->addAction(
            QString("&%1  %2").arg(number++).arg(QDir::toNativeSeparators(path)));
        connect(item, &QAction::triggered, this, [this, path] { OpenRecent(path); });
    }
    RecentMenu->setEnabled(!recent_->paths().empty());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!ChipCommandBusy() && !DroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    OpenPath(path, true);
}

void MainWindow::ToolSaveClick() {
    if (!ChipCommandBusy())
        SaveDataFileCommand(Buffer, CurrentChip().FlashSize, HooksFor(*this));
}

void MainWindow::ToolFillClick() {
    if (ChipCommandBusy() || !form4_)
        return;
    // Edits in the pane are part of the image the fill changes.
    SyncBufferFromEditor();
    form4_->ShowFill(CurrentChip().FlashSize);
}

} // namespace vantor
