#include "app/QtPrompts.h"

#include <QFileDialog>
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

std::string QtPrompts::chooseOpenFile(const std::string& title, const std::string& filter) {
    return QFileDialog::getOpenFileName(owner_, qs(title), QString(), qs(filter)).toStdString();
}

std::string QtPrompts::chooseSaveFile(const std::string& title, const std::string& filter) {
    // The program asks about overwriting itself, in the user's language.
    return QFileDialog::getSaveFileName(owner_, qs(title), QString(), qs(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite)
        .toStdString();
}

} // namespace vantor
