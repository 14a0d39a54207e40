#pragma once
#include "core/FilePlaces.h"

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace vantor {

// The about box: fixed size, centred on the screen, the same in every language.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kVersionLine = "Vantor+ Version 3.0";
    static constexpr const char* kNoticeLine =
        "Copyright (C) 2026 the Vantor+ developers. Free software, no warranty.";

    explicit AboutBox(QWidget* parent = nullptr);
    // The files in use, listed under the notice in the current language.
    void setFilePlaces(const FilePlaces& places, std::string usbLibrary);

    QLabel* ProgramIcon;
    QLabel* Version;
    QLabel* Copyright;
    QLabel* Places;
    QPushButton* OKButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    FilePlaces places_;
    std::string usbLibrary_;
};

} // namespace vantor
