#include "app/QtPrompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace vantor {

namespace {
QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

void QtPrompts::showError(const std::string& text) {
    QMessageBox::critical(owner_, "Error", qs(text), QMessageBox::Ok);
}

bool QtPrompts::askYesNo(const std::string& text) {
    return QMessageBox::question(owner_, "Info", qs(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void QtPrompts::showInformation(const std::string& text) {
    QMessageBox::information(owner_, "Information", qs(text), QMessageBox::Ok);
}

void QtPrompts::showFileMessage(const std::string& text) {
    QMessageBox::critical(owner_, "Error", qs(text), QMessageBox::Ok);
}

QString QtPrompts::startFolder() const {
    return folder_ ? qs(*folder_) : QString();
}

void QtPrompts::noteFolder(const QString& chosen) {
    if (folder_ && !chosen.isEmpty())
        *folder_ = QFileInfo(chosen).absolutePath().toStdString();
}

std::string QtPrompts::chooseOpenFile(const std::string& title, const std::string& filter) {
    QString selected;
    QString chosen =
        QFileDialog::getOpenFileName(owner_, qs(title), startFolder(), qs(filter), &selected);
    openFilter_ = chosen.isEmpty() ? std::string() : selected.toStdString();
    noteFolder(chosen);
    return chosen.toStdString();
}

std::string QtPrompts::chooseSaveFile(const std::string& title, const std::string& filter) {
    QString selected = qs(saveFilter_);
    // The program asks about overwriting itself, in the user's language.
    QString chosen = QFileDialog::getSaveFileName(owner_, qs(title), startFolder(), qs(filter),
                                                  &selected, QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty())
        saveFilter_ = selected.toStdString();
    noteFolder(chosen);
    return chosen.toStdString();
}

} // namespace vantor
