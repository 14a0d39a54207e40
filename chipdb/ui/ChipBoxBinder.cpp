#include "chipdb/ui/ChipBoxBinder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace vantor {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Makes `combo` list exactly the box's items and selection. Without a
// selection the edit text stays as it was, as the model's does.
void ShowBox(QComboBox* combo, const ChoiceBox& box) {
    if (!combo)
        return;
    const QSignalBlocker block(combo);
    const QString text = combo->currentText();
    bool same = combo->count() == box.count();
    for (int i = 0; same && i < box.count(); ++i)
        same = combo->itemText(i) == Q(box.items()[static_cast<std::size_t>(i)]);
    if (!same) {
        // The type box only ever grows: append what is new.
        int keep = 0;
        while (keep < combo->count() && keep < box.count() &&
               combo->itemText(keep) == Q(box.items()[static_cast<std::size_t>(keep)]))
            ++keep;
        if (keep < combo->count()) {
            combo->clear();
            keep = 0;
        }
        QStringList items;
        for (int i = keep; i < box.count(); ++i)
            items << Q(box.items()[static_cast<std::size_t>(i)]);
        combo->addItems(items);
    }
    combo->setCurrentIndex(box.selected());
    if (box.selected() < 0 && combo->isEditable())
        combo->setEditText(text);
}

} // namespace

ChipBoxBinder::ChipBoxBinder(ChipSelection& model, const ChipBoxWidgets& widgets, QObject* parent)
    : QObject(parent), model_(model), w_(widgets) {
    QComboBox* boxes[3] = {w_.ComboBox1, w_.ComboBox2, w_.ComboBox3};
    for (int i = 0; i < 3; ++i) {
        if (!boxes[i])
            continue;
        boxes[i]->setInsertPolicy(QComboBox::NoInsert);
        connect(boxes[i], &QComboBox::activated, this,
                [this, i](int position) { Picked(i, position); });
    }
    if (w_.ComboBox5 && w_.ComboBox5->count() == 0) {
        // Filling the steps must not pick one: the box keeps its text until a
        // chip is chosen.
        const QSignalBlocker block(w_.ComboBox5);
        const QString text = w_.ComboBox5->currentText();
        for (const char* step : CapacityStepTexts())
            w_.ComboBox5->addItem(QString::fromLatin1(step));
        w_.ComboBox5->setCurrentIndex(-1);
        if (w_.ComboBox5->isEditable())
            w_.ComboBox5->setEditText(text);
    }
}

void ChipBoxBinder::Picked(int box, int position) {
    switch (box) {
    case 0:
        model_.ComboBox1Change(position);
        break;
    case 1:
        model_.ComboBox2Change(position);
        break;
    default:
        model_.ComboBox3Change(position);
        break;
    }
    Show();
    emit chipSelected();
}

void ChipBoxBinder::SelectChip(int typeIndex, int makerIndex, int nameIndex) {
    model_.SelectChip(typeIndex, makerIndex, nameIndex);
    Show();
    emit chipSelected();
}

void ChipBoxBinder::Show() {
    ShowBox(w_.ComboBox1, model_.typeBox());
    ShowBox(w_.ComboBox2, model_.makerBox());
    ShowBox(w_.ComboBox3, model_.nameBox());
    if (model_.LastSelectChose()) {
        if (w_.Edit1)
            w_.Edit1->setText(Q(model_.Edit1Text()));
        if (w_.Edit2)
            w_.Edit2->setText(Q(model_.Edit2Text()));
    }
    if (w_.ComboBox5 && model_.SizeStepIndex() >= 0 &&
        model_.SizeStepIndex() < w_.ComboBox5->count()) {
        const QSignalBlocker block(w_.ComboBox5);
        w_.ComboBox5->setCurrentIndex(model_.SizeStepIndex());
    }
}

} // namespace vantor
