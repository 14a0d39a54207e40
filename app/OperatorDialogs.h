#pragma once
// The small dialogs of Find and Go to in the hex pane.
#include "controls/HexFind.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace vantor {

class FindDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindDialog(QWidget* parent = nullptr);
    // The request the dialog's fields describe; nothing (and a note in the
    // dialog) when the hex bytes are not hex.
    std::optional<hex::SearchRequest> request();

    QLineEdit* Pattern;
    QRadioButton *HexBytes, *Text;
    QCheckBox* Backward;
    QLabel* Note;
};

class GoToDialog : public QDialog {
    Q_OBJECT
public:
    explicit GoToDialog(QWidget* parent = nullptr);
    std::optional<std::size_t> offset() const;

    QLineEdit* Offset;
    QRadioButton *Hex, *Decimal;
};

} // namespace vantor
