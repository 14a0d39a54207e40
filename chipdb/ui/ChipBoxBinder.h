#pragma once
// Shows the chip selection model in the main window's chip group and turns
// the user's picks in the three boxes into the model's box handlers. The main
// window owns the widgets and the model; it only forwards its SelectChip
// calls here.
#include "chipdb/ChipSelection.h"

#include <QObject>

class QComboBox;
class QLineEdit;

namespace vantor {

struct ChipBoxWidgets {
    QComboBox* ComboBox1 = nullptr; // type
    QComboBox* ComboBox2 = nullptr; // manufacturer
    QComboBox* ComboBox3 = nullptr; // chip name
    QComboBox* ComboBox5 = nullptr; // capacity step "64B" ... "64MB"
    QLineEdit* Edit1 = nullptr;     // capacity in bytes
    QLineEdit* Edit2 = nullptr;     // page size in bytes
};

class ChipBoxBinder : public QObject {
    Q_OBJECT
public:
    // Sets the three name boxes not to insert typed text as items, fills an
    // empty ComboBox5 with the 21 capacity steps, and connects the boxes'
    // user picks to ComboBox1Change / ComboBox2Change / ComboBox3Change.
    ChipBoxBinder(ChipSelection& model, const ChipBoxWidgets& widgets, QObject* parent = nullptr);

    // The main window's SelectChip: runs the model's and shows the result.
    void SelectChip(int typeIndex, int makerIndex, int nameIndex);
    // Shows the model's current state in the widgets.
    void Show();

    ChipSelection& model() { return model_; }

signals:
    // After every SelectChip, whichever way it was reached.
    void chipSelected();

private:
    void Picked(int box, int position);

    ChipSelection& model_;
    ChipBoxWidgets w_;
};

} // namespace vantor
