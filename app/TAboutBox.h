#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

namespace vantor {

// The about box: fixed size, centred on the screen, the same in every language.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kVersionLine = "Vantor+ Version 3.0";
    static constexpr const char* kNoticeLine =
        "Copyright (C) 2026 the Vantor+ developers. Free software, no warranty.";

    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon;
    QLabel* Version;
    QLabel* Copyright;
    QPushButton* OKButton;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace vantor
