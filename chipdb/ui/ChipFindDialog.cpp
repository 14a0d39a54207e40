#include "chipdb/ui/ChipFindDialog.h"

#include "core/MessageTable.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace vantor {
namespace {

struct Form3Captions {
    const char* window;
    const char* find;
    const char* select;
    const char* quit;
    const char* typeColumn;
    const char* makerColumn;
    const char* nameColumn;
};

// Simplified Chinese, Traditional Chinese, English.
constexpr Form3Captions kCaptions[kLanguageCount] = {
    {"芯片选择", "查找", "选择", "退出", "类型", "厂商", "名称"},
    {"芯片選擇", "查找", "選擇", "退出", "類型", "廠商", "名稱"},
    {"Chip Select", "Find", "Select", "Quit", "Type", "Manufacturer", "Name"},
};

constexpr int kColumnWidths[4] = {80, 80, 100, 1};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

ChipFindDialog::ChipFindDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("ChipFindDialog");
    Label1 = new QLabel(this);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Label1->setBuddy(ComboBox1);

    ListView1 = new QTreeWidget(this);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setMinimumSectionSize(1); // the slot column is 1 pixel wide

    BitBtn1 = new QPushButton(this);
    BitBtn2 = new QPushButton(this);
    BitBtn1->setEnabled(false);
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(Label1);
    top->addWidget(ComboBox1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);
    resize(330, 380);

    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] { ListView1Change(); });
    // Enter on a row and a double click both choose it (the view reports
    // either as activation).
    connect(ListView1, &QTreeWidget::activated, this, [this] { BitBtn1Click(); });
    ListView1->installEventFilter(this);
    ComboBox1->installEventFilter(this);
    ComboBox1->lineEdit()->installEventFilter(this);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });

    ApplyCaptions(CurrentLanguage());
    ResetList();
}

void ChipFindDialog::ApplyCaptions(int languageIndex) {
    if (languageIndex < 0 || languageIndex >= kLanguageCount)
        return;
    language_ = languageIndex;
    const Form3Captions& c = kCaptions[languageIndex];
    setWindowTitle(QString::fromUtf8(c.window));
    Label1->setText(QString::fromUtf8(c.find));
    BitBtn1->setText(QString::fromUtf8(c.select));
    BitBtn2->setText(QString::fromUtf8(c.quit));
    ListView1->setHeaderLabels({QString::fromUtf8(c.typeColumn), QString::fromUtf8(c.makerColumn),
                                QString::fromUtf8(c.nameColumn), QStringLiteral("pos")});
}

void ChipFindDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

// Empties the list and sets up its four columns again.
void ChipFindDialog::ResetList() {
    ListView1->clear();
    rows_.clear();
    ListView1->setColumnCount(4);
    ApplyCaptions(language_);
    // As designed, or as wide as the column's title in this font.
    const int pad =
        2 * ListView1->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, ListView1->header()) +
        8;
    const QFontMetrics titles(ListView1->header()->font());
    for (int i = 0; i < 4; ++i) {
        const QString title = ListView1->headerItem()->text(i);
        ListView1->setColumnWidth(
            i, i == 3 ? kColumnWidths[i]
                      : std::max(kColumnWidths[i], titles.horizontalAdvance(title) + pad));
    }
    ListView1Change();
}

void ChipFindDialog::ShowRows(std::vector<ChipListRow> rows) {
    ResetList();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const ChipListRow& row : rows)
        items.append(new QTreeWidgetItem(
            QStringList{Q(row.type), Q(row.maker), Q(row.name), QString::number(row.slot)}));
    rows_ = std::move(rows);
    ListView1->addTopLevelItems(items);
    ListView1Change();
}

void ChipFindDialog::FormShow() {
    // The text kept from the last time still filters the list.
    if (!ComboBox1->currentText().isEmpty()) {
        ComboBox1Change();
        return;
    }
    ShowRows(db_ ? ListAllChips(*db_) : std::vector<ChipListRow>{});
}

bool ChipFindDialog::eventFilter(QObject* watched, QEvent* event) {
    // Arriving in the list with nothing picked, the first row is picked, so
    // the first Down goes to the second row and not past the first.
    if (watched == ListView1 && event->type() == QEvent::FocusIn &&
        ListView1->selectedItems().isEmpty() && ListView1->topLevelItemCount() > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(0));
    // Enter in the search text chooses the row picked in the list.
    if ((watched == ComboBox1 || watched == ComboBox1->lineEdit()) &&
        event->type() == QEvent::KeyPress && !ListView1->selectedItems().isEmpty()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BitBtn1Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ChipFindDialog::ComboBox1Change() {
    ShowRows(db_ ? FindChips(*db_, ComboBox1->currentText().toStdString())
                 : std::vector<ChipListRow>{});
}

void ChipFindDialog::ListView1Change() {
    BitBtn1->setEnabled(!ListView1->selectedItems().isEmpty());
}

void ChipFindDialog::BitBtn1Click() {
    const auto selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    const int index = ListView1->indexOfTopLevelItem(selected.front());
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size())
        return;
    if (boxes_ && selectChip_)
        SelectByNames(*boxes_, rows_[static_cast<std::size_t>(index)], selectChip_);
    accept();
}

void ChipFindDialog::BitBtn2Click() {
    reject();
}

} // namespace vantor
