#include "app/OperatorDialogs.h"

#include "core/MessageTable.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantor {

namespace {

QString Tr(int id) {
    return QString::fromStdString(Message(id));
}

QString ItemTitle(int id) {
    QString text = Tr(id);
    text.remove("...");
    return text;
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

FindDialog::FindDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("FindDialog");
    setWindowTitle(ItemTitle(Own::FindItem));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(Tr(Own::FindPrompt), this));
    Pattern = new QLineEdit(this);
    Pattern->setObjectName("Pattern");
    Pattern->setMinimumWidth(260);
    row->addWidget(Pattern, 1);
    layout->addLayout(row);
    auto* kinds = new QHBoxLayout;
    HexBytes = new QRadioButton(Tr(Own::FindHexBytes), this);
    Text = new QRadioButton(Tr(Own::FindText), this);
    HexBytes->setChecked(true);
    Backward = new QCheckBox(Tr(Own::FindBackward), this);
    kinds->addWidget(HexBytes);
    kinds->addWidget(Text);
    kinds->addStretch(1);
    kinds->addWidget(Backward);
    layout->addLayout(kinds);
    Note = new QLabel(this);
    Note->setStyleSheet("color: #b00000");
    layout->addWidget(Note);
    layout->addWidget(OkCancel(this));
}

std::optional<hex::SearchRequest> FindDialog::request() {
    hex::SearchRequest r;
    r.forward = !Backward->isChecked();
    if (Text->isChecked()) {
        const QByteArray bytes = Pattern->text().toUtf8();
        r.pattern.assign(bytes.begin(), bytes.end());
    } else if (auto bytes = hex::ParseHexBytes(Pattern->text().toStdString())) {
        r.pattern = std::move(*bytes);
    }
    if (r.pattern.empty()) {
        Note->setText(Tr(Own::FindBadHex));
        return std::nullopt;
    }
    Note->clear();
    return r;
}

GoToDialog::GoToDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("GoToDialog");
    setWindowTitle(ItemTitle(Own::GoToItem));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(Tr(Own::GoToPrompt), this));
    Offset = new QLineEdit(this);
    Offset->setObjectName("Offset");
    Offset->setMinimumWidth(160);
    row->addWidget(Offset, 1);
    layout->addLayout(row);
    auto* kinds = new QHBoxLayout;
    Hex = new QRadioButton(Tr(Own::GoToHex), this);
    Decimal = new QRadioButton(Tr(Own::GoToDecimal), this);
    Hex->setChecked(true);
    kinds->addWidget(Hex);
    kinds->addWidget(Decimal);
    kinds->addStretch(1);
    layout->addLayout(kinds);
    layout->addWidget(OkCancel(this));
}

std::optional<std::size_t> GoToDialog::offset() const {
    return hex::ParseOffset(Offset->text().toStdString(), Hex->isChecked());
}

} // namespace vantor
