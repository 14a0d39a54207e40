#include "chipdb/ui/ChipEditorDialog.h"

#include "chipdb/DatabaseFile.h"
#include "chipdb/GbkText.h"
#include "chipdb/NameText.h"
#include "core/FilePlaces.h"
#include "core/IntegerValue.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <unordered_set>
#include <vector>

namespace vantor {
namespace {

struct Form2Captions {
    const char* window;
    const char* group;
    const char* labels[13];
    const char* del;
    const char* add;
    const char* edit;
    const char* save;
    const char* quit;
};

// Simplified Chinese, Traditional Chinese, English.
constexpr Form2Captions kCaptions[kLanguageCount] = {
    {"芯片编辑",
     "配置",
     {"种类", "厂商", "芯片型号", "延时", "芯片类型", "FLASH", "FLASH页", "工作电压", "算法",
      "芯片ID", "EEPROM", "EEPROM页", "扩展关联"},
     "删除",
     "添加",
     "编辑",
     "保存",
     "退出"},
    {"芯片編輯",
     "配置",
     {"種類", "廠商", "芯片型號", "延時", "芯片類型", "FLASH", "FLASH頁", "工作電壓", "算法",
      "芯片ID", "EEPROM", "EEPROM頁", "擴展關聯"},
     "删除",
     "添加",
     "編輯",
     "保存",
     "退出"},
    {"Chip Editor",
     "Config",
     {"Type", "Manufacturer", "Name", "Delay", "Class", "FLASH", "FLASH Page", "Voltage",
      "Algorithm", "Chip ID", "EEPROM", "EEPROM page", "Extend"},
     "Delete",
     "Add",
     "Edit",
     "Save",
     "Quit"},
};

// Grid titles: the same texts in every language.
constexpr const char* kTitles[ChipEditorDialog::kColumns] = {
    "芯片类型", "芯片厂家", "芯片型号", "芯片ID", "FLASH",    "FLASH页", "类型",
    "子类型",   "延时",     "工作电压", "EEPROM", "EEPROM页", "关联XML"};

constexpr int kDefaultColWidth = 75;
constexpr int kNarrowColWidth = 60;
constexpr int kNarrowColumns[] = {3, 4, 5, 6, 7, 8, 9, 11, 12};

// Grid columns and the record fields behind them.
enum Col {
    ColType = 0,
    ColMaker,
    ColName,
    ColChipId,
    ColFlashSize,
    ColFlashPage,
    ColFamily,
    ColSubType,
    ColDelay,
    ColVoltage,
    ColEepromSize,
    ColEepromPage,
    ColXmlLink
};

const char* const kFamilies[] = {"25 flash 系列", "24 eeprom 系列", "93 eeprom 系列",
                                 "25 eeprom 系列", "95 eeprom 系列"};
const char* const kPages[] = {"1", "2", "4", "8", "16", "32", "64", "128", "256"};
const char* const kVoltages[] = {"3.3V", "1.8V", "5.0V"};
const char* const kEepromSizes[] = {"0B",   "2B",   "4B",   "8B",    "16B",   "32B",   "64B",
                                    "128B", "256B", "512B", "1KB",   "2KB",   "4KB",   "8KB",
                                    "16KB", "32KB", "64KB", "128KB", "256KB", "512KB", "1MB",
                                    "2MB",  "4MB",  "8MB",  "16MB",  "32MB",  "64MB"};

// Algorithm items by family position; families 3 and 4 share theirs.
const std::vector<const char*>& AlgorithmItems(int family) {
    static const std::vector<const char*> items[] = {
        {"非SST SPI flash", "SST SPI flash"},
        {"小于4KB", "大于等于4KB"},
        {"93C46 8 BITS", "93C57 8 BITS", "93C66 8 BITS", "93C76 8 BITS", "93C86 8 BITS",
         "93C46 16 BITS", "93C57 16 BITS", "93C66 16 BITS", "93C76 16 BITS", "93C86 16 BITS"},
        {"小于512B", "大等于512B", "大于64KB"},
        {},
    };
    if (family == 3 || family == 4)
        return items[3];
    if (family < 0 || family > 2)
        return items[4];
    return items[family];
}

void Refuse(const QString& text) {
    CurrentPrompts().showError(text.toStdString());
}

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// The editor's own label for a grid column: the grid's titles are Chinese in
// every language, so refusals name the field as the boxes do.
constexpr int kColumnLabel[ChipEditorDialog::kColumns] = {0, 1, 2, 9, 5, 6, 4, 8, 3, 7, 10, 11, 12};
std::string ColumnName(int col) {
    return kCaptions[NormalizeLanguage(CurrentLanguage())].labels[kColumnLabel[col]];
}

// Reads a cell with the one integer rule; says so, naming the field, when it
// is not a number.
std::optional<std::int64_t> ReadNumber(const QString& text, int col) {
    const std::string s = text.toStdString();
    auto value = ParseIntegerValue(s);
    if (!value)
        CurrentPrompts().showError(FormatMessage(Own::InvalidIntegerIn, {ColumnName(col), s}));
    return value;
}

// How many times `v` can be halved while above 1: floor(log2 v), 0 up to 1.
int Lg(std::int64_t v) {
    int n = 0;
    while (v > 1) {
        v /= 2;
        ++n;
    }
    return n;
}

// Selects item `position`; a position outside the list leaves the box with
// no item and no text.
void SelectPosition(QComboBox* box, std::int64_t position) {
    box->setCurrentIndex(position >= 0 && position < box->count() ? int(position) : -1);
}

// The item the box shows: the selected one, or the item whose text is the
// box's text exactly; -1 when the text names no item.
int ChosenPosition(const QComboBox* box) {
    const QString text = box->currentText();
    const int index = box->currentIndex();
    if (index >= 0 && box->itemText(index) == text)
        return index;
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

QComboBox* MakeCombo(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(20);
    return box;
}

template <std::size_t N> void Fill(QComboBox* box, const char* const (&items)[N]) {
    for (const char* item : items)
        box->addItem(Q(item));
}

// Paints the title of column 0 into the table's corner, which sits above
// the type column like any other title.
class CornerTitle : public QObject {
public:
    CornerTitle(QObject* parent, QString text) : QObject(parent), text_(std::move(text)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        auto* w = static_cast<QWidget*>(watched);
        QStylePainter painter(w);
        QStyleOptionHeader option;
        option.initFrom(w);
        // The corner does nothing when clicked, but its title reads like the
        // others.
        option.palette.setCurrentColorGroup(QPalette::Active);
        option.state |= QStyle::State_Enabled | QStyle::State_Raised;
        option.rect = w->rect();
        option.position = QStyleOptionHeader::OnlyOneSection;
        option.orientation = Qt::Horizontal;
        option.text = text_;
        option.textAlignment = Qt::AlignCenter;
        painter.drawControl(QStyle::CE_Header, option);
        return true;
    }

private:
    QString text_;
};

// The grid's columns are 60 and 75 pixels wide, as designed for a small
// dialog font. Takes the largest font, down from the dialog's, in which
// `sample` fits a narrow column beside `margin` pixels.
QFont FittingFont(QFont font, const QString& sample, int margin) {
    for (double points = font.pointSizeF(); points >= 6.0; points -= 0.5) {
        font.setPointSizeF(points);
        if (QFontMetrics(font).horizontalAdvance(sample) + margin <= kNarrowColWidth)
            break;
    }
    return font;
}

} // namespace

ChipEditorDialog::ChipEditorDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("ChipEditorDialog");

    StringGrid1 = new QTableWidget(this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setColumnCount(kColumns - 1);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    // A double click loads the row into the controls, so it does not open
    // the cell editor; typing, F2 or a click on the current cell do.
    StringGrid1->setEditTriggers(QAbstractItemView::SelectedClicked |
                                 QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    StringGrid1->setWordWrap(false);
    StringGrid1->setCornerButtonEnabled(false);
    if (StringGrid1->font().pointSizeF() > 0) {
        // A 64 MiB capacity in a cell, "EEPROM页" in a title.
        const QStyle* style = StringGrid1->style();
        StringGrid1->setFont(FittingFont(
            StringGrid1->font(), QStringLiteral("67108864"),
            2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, StringGrid1) + 1)));
        StringGrid1->horizontalHeader()->setFont(
            FittingFont(StringGrid1->font(), Q(kTitles[ColEepromPage]),
                        4 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, StringGrid1)));
    }
    QHeaderView* top = StringGrid1->horizontalHeader();
    top->setDefaultSectionSize(kDefaultColWidth);
    top->setMinimumSectionSize(kNarrowColWidth / 2);
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setStretchLastSection(false);
    QHeaderView* side = StringGrid1->verticalHeader();
    side->setFixedWidth(kDefaultColWidth);
    side->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    side->setSectionsClickable(false);
    side->setHighlightSections(false);
    side->setDefaultSectionSize(side->fontMetrics().height() + 8);
    side->setSectionResizeMode(QHeaderView::Fixed);
    if (auto* corner = StringGrid1->findChild<QAbstractButton*>())
        corner->installEventFilter(new CornerTitle(this, Q(kTitles[ColType])));
    ShowTitles();

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName("GroupBox1");
    QLabel** labels[] = {&Label1, &Label2, &Label3,  &Label4,  &Label5,  &Label6, &Label7,
                         &Label8, &Label9, &Label10, &Label11, &Label12, &Label13};
    for (int i = 0; i < 13; ++i) {
        *labels[i] = new QLabel(GroupBox1);
        (*labels[i])->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    }
    ComboBox1 = MakeCombo(GroupBox1, "ComboBox1");
    ComboBox2 = MakeCombo(GroupBox1, "ComboBox2");
    ComboBox3 = MakeCombo(GroupBox1, "ComboBox3");
    Edit1 = new QLineEdit(QStringLiteral("100"), GroupBox1);
    Edit1->setObjectName("Edit1");
    ComboBox4 = MakeCombo(GroupBox1, "ComboBox4");
    Fill(ComboBox4, kFamilies);
    ComboBox4->setCurrentIndex(-1);
    ComboBox4->setEditText(Q(kFamilies[0]));
    ComboBox5 = MakeCombo(GroupBox1, "ComboBox5");
    for (const char* step : CapacityStepTexts())
        ComboBox5->addItem(Q(step));
    ComboBox5->setCurrentIndex(0);
    ComboBox6 = MakeCombo(GroupBox1, "ComboBox6");
    Fill(ComboBox6, kPages);
    ComboBox6->setCurrentIndex(0);
    ComboBox7 = MakeCombo(GroupBox1, "ComboBox7");
    Fill(ComboBox7, kVoltages);
    ComboBox7->setCurrentIndex(-1);
    ComboBox7->setEditText(Q(kVoltages[0]));
    // The algorithms of the family the class box shows at first.
    ComboBox8 = MakeCombo(GroupBox1, "ComboBox8");
    for (const char* item : AlgorithmItems(0))
        ComboBox8->addItem(Q(item));
    ComboBox8->setCurrentIndex(0);
    ComboBox9 = MakeCombo(GroupBox1, "ComboBox9");
    ComboBox9->setEditText(QStringLiteral("0"));
    ComboBox10 = MakeCombo(GroupBox1, "ComboBox10");
    Fill(ComboBox10, kEepromSizes);
    ComboBox10->setCurrentIndex(1);
    ComboBox11 = MakeCombo(GroupBox1, "ComboBox11");
    Fill(ComboBox11, kPages);
    ComboBox11->setCurrentIndex(2);
    ComboBox12 = MakeCombo(GroupBox1, "ComboBox12");

    // Four label / control pairs per line.
    QWidget* controls[] = {ComboBox1,  ComboBox2,  ComboBox3, Edit1,     ComboBox4,
                           ComboBox5,  ComboBox6,  ComboBox7, ComboBox8, ComboBox9,
                           ComboBox10, ComboBox11, ComboBox12};
    auto* config = new QGridLayout(GroupBox1);
    config->setHorizontalSpacing(6);
    for (int i = 0; i < 13; ++i) {
        const int line = i / 4, pair = i % 4;
        (*labels[i])->setBuddy(controls[i]);
        (*labels[i])->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        config->addWidget(*labels[i], line, pair * 2);
        config->addWidget(controls[i], line, pair * 2 + 1);
        config->setColumnStretch(pair * 2 + 1, 1);
    }

    BtnDelete = new QPushButton(this);
    BtnAdd = new QPushButton(this);
    BtnEdit = new QPushButton(this);
    BtnSave = new QPushButton(this);
    BtnExit = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const char* buttonNames[] = {"BtnDelete", "BtnAdd", "BtnEdit", "BtnSave", "BtnExit"};
    QPushButton* buttonList[] = {BtnDelete, BtnAdd, BtnEdit, BtnSave, BtnExit};
    for (int i = 0; i < 5; ++i) {
        buttonList[i]->setObjectName(buttonNames[i]);
        buttonList[i]->setAutoDefault(false);
        buttons->addWidget(buttonList[i]);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StringGrid1, 1);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    setFixedSize(900, 600);

    connect(StringGrid1, &QTableWidget::currentCellChanged, this, [this](int row, int col) {
        if (row >= 0 && col >= 0)
            StringGrid1SelectCell(col + 1, row + 1);
    });
    // A click reports its cell even when it is the current one already.
    connect(StringGrid1, &QTableWidget::cellPressed, this,
            [this](int row, int col) { StringGrid1SelectCell(col + 1, row + 1); });
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, [this] { StringGrid1DblClick(); });
    connect(side, &QHeaderView::sectionDoubleClicked, this, [this] { StringGrid1DblClick(); });
    connect(ComboBox4, &QComboBox::activated, this, [this] { ComboBox4Change(); });
    connect(ComboBox4->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox4Change(); });
    connect(BtnDelete, &QPushButton::clicked, this, [this] { BtnDeleteClick(); });
    connect(BtnAdd, &QPushButton::clicked, this, [this] { BtnAddClick(); });
    connect(BtnEdit, &QPushButton::clicked, this, [this] { BtnEditClick(); });
    connect(BtnSave, &QPushButton::clicked, this, [this] { BtnSaveClick(); });
    connect(BtnExit, &QPushButton::clicked, this, [this] { BtnExitClick(); });

    ApplyCaptions(CurrentLanguage());
}

void ChipEditorDialog::ApplyCaptions(int languageIndex) {
    if (languageIndex < 0 || languageIndex >= kLanguageCount)
        return;
    language_ = languageIndex;
    const Form2Captions& c = kCaptions[languageIndex];
    setWindowTitle(Q(c.window));
    GroupBox1->setTitle(Q(c.group));
    QLabel* labels[] = {Label1, Label2, Label3,  Label4,  Label5,  Label6, Label7,
                        Label8, Label9, Label10, Label11, Label12, Label13};
    for (int i = 0; i < 13; ++i)
        labels[i]->setText(Q(c.labels[i]));
    BtnDelete->setText(Q(c.del));
    BtnAdd->setText(Q(c.add));
    BtnEdit->setText(Q(c.edit));
    BtnSave->setText(Q(c.save));
    BtnExit->setText(Q(c.quit));
}

void ChipEditorDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

// ---- the grid in the designer's coordinates ---------------------------------

int ChipEditorDialog::RowCount() const {
    return StringGrid1->rowCount() + 1;
}

QTableWidgetItem* ChipEditorDialog::CellItem(int col, int row) const {
    if (row < 1 || row >= RowCount() || col < 0 || col >= kColumns)
        return nullptr;
    if (col == ColType)
        return StringGrid1->verticalHeaderItem(row - 1);
    return StringGrid1->item(row - 1, col - 1);
}

QString ChipEditorDialog::Cells(int col, int row) const {
    if (row == 0 && col >= 0 && col < kColumns)
        return Q(kTitles[col]);
    QTableWidgetItem* item = CellItem(col, row);
    return item ? item->text() : QString();
}

void ChipEditorDialog::SetCells(int col, int row, const QString& text) {
    if (row < 1 || row >= RowCount() || col < 0 || col >= kColumns)
        return;
    if (QTableWidgetItem* item = CellItem(col, row)) {
        item->setText(text);
        return;
    }
    auto* item = new QTableWidgetItem(text);
    if (col == ColType)
        StringGrid1->setVerticalHeaderItem(row - 1, item);
    else
        StringGrid1->setItem(row - 1, col - 1, item);
}

int ChipEditorDialog::ColWidth(int col) const {
    if (col == ColType)
        return StringGrid1->verticalHeader()->maximumWidth();
    return StringGrid1->columnWidth(col - 1);
}

ChipEditorDialog::RowCells ChipEditorDialog::RowAt(int row) const {
    RowCells cells;
    for (int col = 0; col < kColumns; ++col)
        cells[std::size_t(col)] = Cells(col, row);
    return cells;
}

void ChipEditorDialog::SetRow(int row, const RowCells& cells) {
    for (int col = 0; col < kColumns; ++col)
        SetCells(col, row, cells[std::size_t(col)]);
}

void ChipEditorDialog::ShowTitles() {
    QStringList titles;
    for (int col = 1; col < kColumns; ++col)
        titles << Q(kTitles[col]);
    StringGrid1->setHorizontalHeaderLabels(titles);
}

// ---- handlers ----------------------------------------------------------------

void ChipEditorDialog::FormShow() {
    if (db_ && !path_.empty())
        LoadDatabaseFile(*db_, path_);

    const QSignalBlocker block(StringGrid1);
    ShowTitles();
    for (int col : kNarrowColumns)
        StringGrid1->setColumnWidth(col - 1, kNarrowColWidth);
    StringGrid1->clearContents();
    ComboBox1->clear();
    ComboBox2->clear();
    ComboBox3->clear();

    int records = 0;
    if (db_)
        while (records < kChipSlots && !NameTextEmpty((*db_)[records]))
            ++records;
    StringGrid1->setRowCount(records);

    // Presence in a box ignores ASCII letter case, as the main window's does.
    std::unordered_set<std::string> types, makers, names;
    auto addOnce = [](QComboBox* box, std::unordered_set<std::string>& seen,
                      const std::string& text) {
        if (seen.insert(FoldAsciiCase(text)).second)
            box->addItem(Q(text));
    };
    for (int i = 0; i < records; ++i) {
        const ChipRecord& r = (*db_)[i];
        const int row = i + 1;
        // The editor splits at the first two commas only and keeps blanks.
        const std::string text = NameTextUtf8(r);
        std::string type, maker, name = text;
        if (auto first = text.find(','); first != std::string::npos) {
            type = text.substr(0, first);
            auto second = text.find(',', first + 1);
            if (second == std::string::npos) {
                maker = text.substr(first + 1);
                name.clear();
            } else {
                maker = text.substr(first + 1, second - first - 1);
                name = text.substr(second + 1);
            }
        }
        addOnce(ComboBox1, types, type);
        if (!maker.empty())
            addOnce(ComboBox2, makers, maker);
        addOnce(ComboBox3, names, name);

        SetCells(ColType, row, Q(type));
        SetCells(ColMaker, row, Q(maker));
        SetCells(ColName, row, Q(name));
        SetCells(ColChipId, row, QStringLiteral("0x") + QString::number(r.ChipId, 16).toUpper());
        SetCells(ColFlashSize, row, QString::number(r.FlashSize));
        SetCells(ColFlashPage, row, QString::number(r.FlashPage));
        SetCells(ColFamily, row, QString::number(r.Family));
        SetCells(ColSubType, row, QString::number(r.SubType));
        SetCells(ColDelay, row, QString::number(r.Delay));
        SetCells(ColVoltage, row, QString::number(r.Voltage));
        SetCells(ColEepromSize, row, QString::number(r.EepromSize));
        SetCells(ColEepromPage, row, QString::number(r.EepromPage));
        SetCells(ColXmlLink, row, QString::number(r.XmlLink));
    }
    // Like any grid, this one always has a current cell once it has rows;
    // putting it there here (unreported) keeps the focus from reporting one
    // the user never chose.
    if (records > 0 && StringGrid1->currentRow() < 0)
        StringGrid1->setCurrentCell(0, 0);
    WidenNameColumns();

    ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? 0 : -1);
    ComboBox2->setCurrentIndex(ComboBox2->count() > 0 ? 0 : -1);
    ComboBox3->setCurrentIndex(ComboBox3->count() > 0 ? 0 : -1);
}

// The name columns are as wide as designed, or as their longest name in this
// font: a name cut off in the grid cannot be checked against a datasheet.
void ChipEditorDialog::WidenNameColumns() {
    const int pad = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, StringGrid1) +
                         style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, StringGrid1));
    int typeWidth = kDefaultColWidth;
    const QFontMetrics cells(StringGrid1->font());
    const QFontMetrics side(StringGrid1->verticalHeader()->font());
    for (int col : {ColMaker, ColName}) {
        int width = kDefaultColWidth;
        for (int row = 1; row < RowCount(); ++row)
            width = std::max(width, cells.horizontalAdvance(Cells(col, row)) + pad);
        StringGrid1->setColumnWidth(col - 1, width);
    }
    for (int row = 1; row < RowCount(); ++row)
        typeWidth = std::max(typeWidth, side.horizontalAdvance(Cells(ColType, row)) + pad);
    StringGrid1->verticalHeader()->setFixedWidth(typeWidth);
}

void ChipEditorDialog::StringGrid1SelectCell(int /*col*/, int row) {
    SelectedRow = row;
}

void ChipEditorDialog::StringGrid1DblClick() {
    const int r = SelectedRow;
    if (r <= 0 || r >= RowCount())
        return;
    ComboBox1->setEditText(Cells(ColType, r));
    ComboBox2->setEditText(Cells(ColMaker, r));
    ComboBox3->setEditText(Cells(ColName, r));
    ComboBox9->setEditText(Cells(ColChipId, r));

    // Each number is read where it is used; a cell that is not one stops
    // the load there.
    auto size = ReadNumber(Cells(ColFlashSize, r), ColFlashSize);
    if (!size)
        return;
    SelectPosition(ComboBox5, Lg(*size) - 6);
    auto page = ReadNumber(Cells(ColFlashPage, r), ColFlashPage);
    if (!page)
        return;
    SelectPosition(ComboBox6, Lg(*page));
    auto family = ReadNumber(Cells(ColFamily, r), ColFamily);
    if (!family)
        return;
    SelectPosition(ComboBox4, *family);
    ComboBox4Change();

    auto s = ReadNumber(Cells(ColSubType, r), ColSubType);
    if (!s)
        return;
    switch (ComboBox4->currentIndex()) {
    case ChipFamily::SpiFlash25:
        SelectPosition(ComboBox8, *s);
        break;
    case ChipFamily::Eeprom24:
        // The address length changes at 4 KB.
        SelectPosition(ComboBox8, ComboBox5->currentIndex() >= 6 ? 1 : 0);
        break;
    case ChipFamily::Eeprom93:
        SelectPosition(ComboBox8, *s < ChipSubType::Eeprom93x16Offset ? *s - 7 : *s - 82);
        break;
    case ChipFamily::Eeprom25:
    case ChipFamily::Eeprom95:
        SelectPosition(ComboBox8, ComboBox5->currentIndex() >= 4 ? 1 : 0);
        break;
    default:
        break;
    }

    auto delay = ReadNumber(Cells(ColDelay, r), ColDelay);
    if (!delay)
        return;
    Edit1->setText(QString::number(*delay));
    auto voltage = ReadNumber(Cells(ColVoltage, r), ColVoltage);
    if (!voltage)
        return;
    SelectPosition(ComboBox7, *voltage);
    auto eepromSize = ReadNumber(Cells(ColEepromSize, r), ColEepromSize);
    if (!eepromSize)
        return;
    SelectPosition(ComboBox10, Lg(*eepromSize));
    auto eepromPage = ReadNumber(Cells(ColEepromPage, r), ColEepromPage);
    if (!eepromPage)
        return;
    SelectPosition(ComboBox11, Lg(*eepromPage));
    auto xml = ReadNumber(Cells(ColXmlLink, r), ColXmlLink);
    if (!xml)
        return;
    ComboBox12->setEditText(QString::number(*xml));
}

void ChipEditorDialog::ComboBox4Change() {
    ComboBox8->clear();
    for (const char* item : AlgorithmItems(ChosenPosition(ComboBox4)))
        ComboBox8->addItem(Q(item));
    ComboBox8->setCurrentIndex(ComboBox8->count() > 0 ? 0 : -1);
}

std::optional<ChipEditorDialog::RowCells> ChipEditorDialog::CellsFromControls(int row) {
    // Boxes whose position becomes a number must show one of their items.
    const struct {
        QComboBox* box;
        QLabel* label;
    } positional[] = {{ComboBox4, Label5},  {ComboBox5, Label6}, {ComboBox6, Label7},
                      {ComboBox7, Label8},  {ComboBox8, Label9}, {ComboBox10, Label11},
                      {ComboBox11, Label12}};
    for (const auto& p : positional) {
        if (ChosenPosition(p.box) < 0) {
            Refuse(Q(FormatMessage(Own::NoItemChosen, {p.label->text().toStdString()})));
            return std::nullopt;
        }
    }
    // A number box left empty is named, rather than quoting an empty text.
    const std::pair<int, QString> typed[] = {{ColChipId, ComboBox9->currentText()},
                                             {ColDelay, Edit1->text()},
                                             {ColXmlLink, ComboBox12->currentText()}};
    for (const auto& [col, text] : typed) {
        if (text.trimmed().isEmpty()) {
            Refuse(Q(FormatMessage(Own::BoxEmpty, {ColumnName(col)})));
            return std::nullopt;
        }
    }
    const int family = ChosenPosition(ComboBox4);
    const int algorithm = ChosenPosition(ComboBox8);
    const int eeprom = ChosenPosition(ComboBox10);
    int subType = algorithm;
    if (family == ChipFamily::Eeprom93)
        subType = algorithm < 5 ? algorithm + 7 : algorithm + 82;

    RowCells cells;
    cells[ColType] = ComboBox1->currentText();
    cells[ColMaker] = ComboBox2->currentText();
    cells[ColName] = ComboBox3->currentText();
    cells[ColChipId] = ComboBox9->currentText();
    cells[ColFlashSize] = QString::number(std::int64_t(64) << ChosenPosition(ComboBox5));
    cells[ColFlashPage] = QString::number(1 << ChosenPosition(ComboBox6));
    cells[ColFamily] = QString::number(family);
    cells[ColSubType] = QString::number(subType);
    cells[ColDelay] = Edit1->text();
    cells[ColVoltage] = QString::number(ChosenPosition(ComboBox7));
    cells[ColEepromSize] = QString::number(eeprom == 0 ? 0 : std::int64_t(1) << eeprom);
    cells[ColEepromPage] = QString::number(1 << ChosenPosition(ComboBox11));
    cells[ColXmlLink] = ComboBox12->currentText();

    // What Save would refuse is refused now, before the grid changes.
    ChipRecord scratch;
    if (!RowToRecord(cells, row, scratch))
        return std::nullopt;
    return cells;
}

void ChipEditorDialog::BtnAddClick() {
    if (RowCount() - 1 >= kMaxDataRows) {
        Refuse(Q(Message(Own::TooManyRows)));
        return;
    }
    const int row = RowCount();
    auto cells = CellsFromControls(row);
    if (!cells)
        return;
    StringGrid1->insertRow(row - 1);
    SetRow(row, *cells);
    StringGrid1->setCurrentCell(row - 1, std::max(StringGrid1->currentColumn(), 0));
}

void ChipEditorDialog::BtnEditClick() {
    const int row = SelectedRow;
    if (row <= 0 || row >= RowCount())
        return;
    if (auto cells = CellsFromControls(row))
        SetRow(row, *cells);
}

void ChipEditorDialog::BtnDeleteClick() {
    if (RowCount() <= 1)
        return;
    // The grid always has a current data row; before the user picked one it
    // is the first.
    const int current = StringGrid1->currentRow();
    StringGrid1->removeRow(current >= 0 ? current : 0);
}

bool ChipEditorDialog::RowToRecord(const RowCells& cells, int row, ChipRecord& record) const {
    const std::string joined = TrimBlanks(cells[ColType].toStdString()) + "," +
                               TrimBlanks(cells[ColMaker].toStdString()) + "," +
                               TrimBlanks(cells[ColName].toStdString());
    std::string gbk;
    if (!Utf8ToGbk(joined, &gbk) || gbk.find('\0') != std::string::npos) {
        Refuse(Q(FormatMessage(Own::NamesNotGbk, {std::to_string(row), joined})));
        return false;
    }
    if (gbk.size() > kNameTextMaxBytes) {
        Refuse(Q(FormatMessage(Own::NamesTooLong,
                               {std::to_string(row), joined, std::to_string(gbk.size())})));
        return false;
    }
    SetNameText(record, joined);

    // Numbers in field order; each must fit its field's width.
    bool ok = true;
    auto read = [&](int col, std::uint64_t max) -> std::uint64_t {
        if (!ok)
            return 0;
        auto value = ReadNumber(cells[std::size_t(col)], col);
        if (!value) {
            ok = false;
            return 0;
        }
        if (*value < 0 || std::uint64_t(*value) > max) {
            Refuse(
                Q(FormatMessage(Own::DoesNotFit, {std::to_string(row), ColumnName(col),
                                                  std::to_string(*value), std::to_string(max)})));
            ok = false;
            return 0;
        }
        return std::uint64_t(*value);
    };
    constexpr std::uint64_t u8 = 0xFF, u16 = 0xFFFF, u32 = 0xFFFFFFFF;
    record.ChipId = std::uint32_t(read(ColChipId, u32));
    record.FlashSize = std::uint32_t(read(ColFlashSize, u32));
    record.FlashPage = std::uint16_t(read(ColFlashPage, u16));
    record.Family = std::uint8_t(read(ColFamily, u8));
    record.SubType = std::uint8_t(read(ColSubType, u8));
    record.Delay = std::uint16_t(read(ColDelay, u16));
    record.Voltage = std::uint8_t(read(ColVoltage, u8));
    record.EepromSize = std::uint16_t(read(ColEepromSize, u16));
    record.EepromPage = std::uint8_t(read(ColEepromPage, u8));
    record.XmlLink = std::uint16_t(read(ColXmlLink, u16));
    if (!ok)
        return false;
    // A record the chip operations cannot serve never reaches the database.
    std::string why;
    if (!ChipRecordIsUsable(record, &why)) {
        Refuse(Q(FormatMessage(Own::RowUnusable, {std::to_string(row), why})));
        return false;
    }
    return true;
}

void ChipEditorDialog::BtnSaveClick() {
    if (!db_)
        return;
    const int dataRows = RowCount() - 1;
    if (dataRows > kMaxDataRows) {
        Refuse(Q(Message(Own::TooManyRows)));
        return;
    }
    // Every row is read into a copy first: a refused cell leaves the
    // database in memory and on disk as it was.
    std::vector<ChipRecord> staged(std::size_t(dataRows) + 1);
    for (int i = 0; i <= dataRows; ++i)
        staged[std::size_t(i)] = (*db_)[i];
    for (int row = 1; row <= dataRows; ++row)
        if (!RowToRecord(RowAt(row), row, staged[std::size_t(row - 1)]))
            return;
    MarkTerminator(staged[std::size_t(dataRows)]);
    for (int i = 0; i <= dataRows; ++i)
        (*db_)[i] = staged[std::size_t(i)];
    const std::string& target = savePath_.empty() ? path_ : savePath_;
    if (!savePath_.empty())
        CreateParentFolders(savePath_); // a first save makes the user's folder
    // Once the user's own copy exists, it is the one the editor reads.
    if (WriteDatabaseFile(target, *db_, dataRows + 1))
        path_ = target;
}

void ChipEditorDialog::BtnExitClick() {
    reject();
}

} // namespace vantor
