#include "buffer/FillDialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QValidator>

namespace vantor {

const FillDialogCaptions kFillDialogCaptions[3] = {
    {"填充", "数据", "常量字节(8bits)", "常量字(16bits)", "随机数", "范围", "开始地址", "结束地址",
     "确定", "取消"},
    {"填充", "數據", "常量字節(8bits)", "常量字(16bits)", "隨機數", "範圍", "開始地址", "結束地址",
     "確定", "取消"},
    {"Fill", "Data", "Byte(8bits)", "Word(16bits)", "Random", "Range", "Start ADDR", "End ADDR",
     "OK", "Cance"},
};

namespace {

// Hex digits only, shown in upper case; any other character is dropped as
// it is typed.
class HexFieldValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        for (QChar c : input) {
            bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
            if (!digit)
                return Invalid;
        }
        return Acceptable;
    }
};

QLineEdit* MakeField(QWidget* parent, const QString& name, const QString& text, int maxLength,
                     QValidator* validator) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setValidator(validator);
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    edit->setInputMethodHints(Qt::ImhPreferUppercase | Qt::ImhNoPredictiveText | Qt::ImhLatinOnly);
    return edit;
}

} // namespace

FillDialog::FillDialog(DataBuffer& buffer, QWidget* parent) : QDialog(parent), buffer_(buffer) {
    setObjectName("FillDialog");
    auto* validator = new HexFieldValidator(this);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName("GroupBox1");
    RadioButton1 = new QRadioButton(GroupBox1);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton2 = new QRadioButton(GroupBox1);
    RadioButton2->setObjectName("RadioButton2");
    RadioButton3 = new QRadioButton(GroupBox1);
    RadioButton3->setObjectName("RadioButton3");
    RadioButton1->setChecked(true);
    Edit1 = MakeField(GroupBox1, "Edit1", "FF", 2, validator);
    Edit2 = MakeField(GroupBox1, "Edit2", "FFFF", 4, validator);
    const int valueWidth = Edit2->fontMetrics().horizontalAdvance("WWWWW");
    Edit1->setFixedWidth(valueWidth);
    Edit2->setFixedWidth(valueWidth);
    auto* data = new QGridLayout(GroupBox1);
    data->addWidget(RadioButton1, 0, 0);
    data->addWidget(Edit1, 0, 1);
    data->addWidget(RadioButton2, 1, 0);
    data->addWidget(Edit2, 1, 1);
    data->addWidget(RadioButton3, 2, 0, 1, 2);

    GroupBox2 = new QGroupBox(this);
    GroupBox2->setObjectName("GroupBox2");
    Label1 = new QLabel(GroupBox2);
    Label1->setObjectName("Label1");
    Label2 = new QLabel(GroupBox2);
    Label2->setObjectName("Label2");
    Edit3 = MakeField(GroupBox2, "Edit3", "00000", 0, validator);
    Edit4 = MakeField(GroupBox2, "Edit4", "FFFF", 0, validator);
    const int addressWidth = Edit3->fontMetrics().horizontalAdvance("WWWWWWWWW");
    Edit3->setMinimumWidth(addressWidth);
    Edit4->setMinimumWidth(addressWidth);
    Label1->setBuddy(Edit3);
    Label2->setBuddy(Edit4);
    auto* range = new QGridLayout(GroupBox2);
    range->addWidget(Label1, 0, 0);
    range->addWidget(Edit3, 0, 1);
    range->addWidget(Label2, 1, 0);
    range->addWidget(Edit4, 1, 1);
    range->setRowStretch(2, 1);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::StyledPanel);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QString(), Panel1);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QString(), Panel1);
    BitBtn2->setObjectName("BitBtn2");
    auto* buttons = new QHBoxLayout(Panel1);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addSpacing(16);
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(GroupBox1);
    groups->addWidget(GroupBox2);
    auto* main = new QVBoxLayout(this);
    main->addLayout(groups);
    main->addWidget(Panel1);
    // A fixed-size box that still fits the captions of every language.
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(BitBtn1, &QPushButton::clicked, this, &FillDialog::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &FillDialog::BitBtn2Click);

    ApplyCaptions(0);
}

void FillDialog::ApplyCaptions(int languageIndex) {
    if (languageIndex < 0 || languageIndex > 2)
        return;
    const FillDialogCaptions& c = kFillDialogCaptions[languageIndex];
    setWindowTitle(QString::fromUtf8(c.FillDialog));
    GroupBox1->setTitle(QString::fromUtf8(c.GroupBox1));
    RadioButton1->setText(QString::fromUtf8(c.RadioButton1));
    RadioButton2->setText(QString::fromUtf8(c.RadioButton2));
    RadioButton3->setText(QString::fromUtf8(c.RadioButton3));
    GroupBox2->setTitle(QString::fromUtf8(c.GroupBox2));
    Label1->setText(QString::fromUtf8(c.Label1));
    Label2->setText(QString::fromUtf8(c.Label2));
    BitBtn1->setText(QString::fromUtf8(c.BitBtn1));
    BitBtn2->setText(QString::fromUtf8(c.BitBtn2));
}

void FillDialog::PrepareToShow(uint32_t flashSize) {
    Edit4->setText(QString::number(flashSize - 1u, 16).toUpper());
}

int FillDialog::ShowFill(uint32_t flashSize) {
    PrepareToShow(flashSize);
    return exec();
}

FillFields FillDialog::fields() const {
    FillFields f;
    f.kind = RadioButton2->isChecked()   ? FillKind::Word
             : RadioButton3->isChecked() ? FillKind::Random
                                         : FillKind::Byte;
    f.byteText = Edit1->text().toStdString();
    f.wordText = Edit2->text().toStdString();
    f.startText = Edit3->text().toStdString();
    f.endText = Edit4->text().toStdString();
    return f;
}

void FillDialog::BitBtn1Click() {
    const FillFields f = fields();
    const uint32_t seed = f.kind == FillKind::Random ? seedSource_() : 0;
    if (RunFill(buffer_, f, seed, loadHexView_))
        accept();
}

void FillDialog::BitBtn2Click() {
    reject();
}

} // namespace vantor
