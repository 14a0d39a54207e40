// The chip editor driven headless over database files in a temporary folder.
#include "chipdb/DatabaseFile.h"
#include "chipdb/ui/ChipEditorDialog.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "tests/chipdb/ChipTestUtil.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace vantor;
using vantor::test::MakeRecord;
using Strings = std::vector<std::string>;

namespace {

ChipRecord Record(const std::string& names, std::uint32_t id, std::uint32_t size,
                  std::uint16_t page, std::uint8_t family, std::uint8_t subType) {
    ChipRecord r = MakeRecord(names, size, page);
    r.ChipId = id;
    r.Family = family;
    r.SubType = subType;
    return r;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray Bytes(const ChipRecord& record) {
    const auto bytes = EncodeChipRecord(record);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

class ChipEditorTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString path;
    ChipDatabase db;
    RecordingPrompts prompts;
    std::vector<ChipRecord> records;

    // Writes `list` and a terminator slot as the database file.
    void WriteFile(const std::vector<ChipRecord>& list, bool terminator = true) {
        ChipDatabase image;
        for (std::size_t i = 0; i < list.size(); ++i)
            image[int(i)] = list[i];
        QVERIFY(
            WriteDatabaseFile(path.toStdString(), image, int(list.size()) + (terminator ? 1 : 0)));
    }
    void Open(ChipEditorDialog& form) {
        form.setDatabase(&db);
        form.setDatabasePath(path.toStdString());
        form.FormShow();
    }
    // A click on a cell of `row`: it becomes current and is pressed.
    static void Pick(ChipEditorDialog& form, int row, int col = 1) {
        form.StringGrid1->setCurrentCell(row - 1, col - 1);
        emit form.StringGrid1->cellPressed(row - 1, col - 1);
    }
    QStringList RowTexts(const ChipEditorDialog& form, int row) {
        QStringList out;
        for (int col = 0; col < ChipEditorDialog::kColumns; ++col)
            out << form.Cells(col, row);
        return out;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        path = dir.filePath("vantor.Dat");
        InstallPrompts(&prompts);
        SetCurrentLanguage(English);
    }
    void cleanupTestCase() { InstallPrompts(nullptr); }

    void init() {
        db.Clear();
        prompts.clear();
        records = {
            Record("SPI_FLASH,Winbond,W25Q32", 0xEF4016, 4u << 20, 256, 0, 0),
            Record("SPI_FLASH,SST,SST25VF016B", 0xBF2541, 2u << 20, 256, 0, 1),
            Record("24_EEPROM,Atmel,AT24C32", 0, 4096, 32, 1, 0),
            Record("93_EEPROM,Atmel,AT93C56", 0, 256, 2, 2, 88),
            Record("25_EEPROM,ST,M95M01", 0, 128 * 1024, 256, 3, 2),
        };
        records[2].Voltage = 2;
        records[2].Delay = 10;
        records[2].EepromSize = 4096;
        records[2].EepromPage = 32;
        records[2].XmlLink = 7;
        // Bytes after the name's zero are kept by a save.
        records[0].NameText[40] = 0x5A;
        WriteFile(records);
    }

    void gridAndControlsAsDesigned() {
        ChipEditorDialog form;
        Open(form);
        QCOMPARE(form.StringGrid1->columnCount() + 1, ChipEditorDialog::kColumns);
        const char* titles[] = {"芯片类型", "芯片厂家", "芯片型号", "芯片ID", "FLASH",
                                "FLASH页",  "类型",     "子类型",   "延时",   "工作电压",
                                "EEPROM",   "EEPROM页", "关联XML"};
        for (int col = 0; col < ChipEditorDialog::kColumns; ++col) {
            QCOMPARE(form.Cells(col, 0), U(titles[col]));
            const bool narrow = (col >= 3 && col <= 9) || col == 11 || col == 12;
            // The name columns grow to their longest name.
            if (narrow)
                QCOMPARE(form.ColWidth(col), 60);
            else
                QVERIFY(form.ColWidth(col) >= 75);
        }
        for (int col = 1; col < ChipEditorDialog::kColumns; ++col)
            QCOMPARE(form.StringGrid1->horizontalHeaderItem(col - 1)->text(), U(titles[col]));
        QCOMPARE(form.StringGrid1->selectionMode(), QAbstractItemView::ContiguousSelection);
        QVERIFY(form.StringGrid1->editTriggers() & QAbstractItemView::AnyKeyPressed);
        // The title row and the type column are headers: no cell editor.
        QVERIFY(!form.StringGrid1->horizontalHeader()->sectionsClickable());
        QVERIFY(!form.StringGrid1->verticalHeader()->sectionsClickable());

        // Initial texts and items of the configuration boxes (the name
        // boxes are filled by the show).
        QCOMPARE(form.Edit1->text(), QStringLiteral("100"));
        QCOMPARE(form.ComboBox4->count(), 5);
        QCOMPARE(form.ComboBox4->currentIndex(), -1);
        QCOMPARE(form.ComboBox4->currentText(), U("25 flash 系列"));
        QCOMPARE(form.ComboBox4->itemText(4), U("95 eeprom 系列"));
        QCOMPARE(form.ComboBox5->count(), 21);
        QCOMPARE(form.ComboBox5->currentText(), QStringLiteral("64B"));
        QCOMPARE(form.ComboBox5->itemText(20), QStringLiteral("64MB"));
        QCOMPARE(form.ComboBox6->count(), 9);
        QCOMPARE(form.ComboBox6->currentText(), QStringLiteral("1"));
        QCOMPARE(form.ComboBox7->count(), 3);
        QCOMPARE(form.ComboBox7->currentIndex(), -1);
        QCOMPARE(form.ComboBox7->currentText(), QStringLiteral("3.3V"));
        QCOMPARE(form.ComboBox8->currentText(), U("非SST SPI flash"));
        QCOMPARE(form.ComboBox9->count(), 0);
        QCOMPARE(form.ComboBox9->currentText(), QStringLiteral("0"));
        QCOMPARE(form.ComboBox10->count(), 27);
        QCOMPARE(form.ComboBox10->itemText(0), QStringLiteral("0B"));
        QCOMPARE(form.ComboBox10->currentText(), QStringLiteral("2B"));
        QCOMPARE(form.ComboBox11->currentText(), QStringLiteral("4"));
        QCOMPARE(form.ComboBox12->currentText(), QString());
        for (QComboBox* box : form.findChildren<QComboBox*>())
            QVERIFY2(box->isEditable(), qPrintable(box->objectName()));
    }

    void captionsFollowTheLanguage() {
        ChipEditorDialog form;
        const struct {
            int language;
            const char *window, *group, *label1, *label13, *del, *exit;
        } expected[] = {
            {0, "芯片编辑", "配置", "种类", "扩展关联", "删除", "退出"},
            {1, "芯片編輯", "配置", "種類", "擴展關聯", "删除", "退出"},
            {2, "Chip Editor", "Config", "Type", "Extend", "Delete", "Quit"},
        };
        for (const auto& e : expected) {
            form.ApplyCaptions(e.language);
            QCOMPARE(form.windowTitle(), U(e.window));
            QCOMPARE(form.GroupBox1->title(), U(e.group));
            QCOMPARE(form.Label1->text(), U(e.label1));
            QCOMPARE(form.Label13->text(), U(e.label13));
            QCOMPARE(form.BtnDelete->text(), U(e.del));
            QCOMPARE(form.BtnExit->text(), U(e.exit));
        }
        QCOMPARE(form.Label7->text(), QStringLiteral("FLASH Page"));
        QCOMPARE(form.Label12->text(), QStringLiteral("EEPROM page"));
        QCOMPARE(form.BtnEdit->text(), QStringLiteral("Edit"));
        form.ApplyCaptions(1);
        QCOMPARE(form.Label7->text(), U("FLASH頁"));
        QCOMPARE(form.BtnEdit->text(), U("編輯"));
        form.ApplyCaptions(-1); // outside 0..2: nothing changes
        QCOMPARE(form.windowTitle(), U("芯片編輯"));
        // The grid titles are the same in every language.
        QCOMPARE(form.Cells(5, 0), U("FLASH页"));
    }

    void showListsEveryRecordFromTheFile() {
        ChipEditorDialog form;
        Open(form);
        QCOMPARE(form.RowCount(), 6);
        QCOMPARE(RowTexts(form, 1),
                 (QStringList{"SPI_FLASH", "Winbond", "W25Q32", "0xEF4016", "4194304", "256", "0",
                              "0", "100", "0", "0", "0", "0"}));
        QCOMPARE(RowTexts(form, 3), (QStringList{"24_EEPROM", "Atmel", "AT24C32", "0x0", "4096",
                                                 "32", "1", "0", "10", "2", "4096", "32", "7"}));
        QCOMPARE(form.Cells(7, 4), QStringLiteral("88"));
        QCOMPARE(form.ComboBox1->count(), 4);
        QCOMPARE(form.ComboBox2->count(), 4); // Winbond, SST, Atmel, ST
        QCOMPARE(form.ComboBox3->count(), 5);
        QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("SPI_FLASH"));
        QCOMPARE(form.ComboBox2->currentText(), QStringLiteral("Winbond"));
        QCOMPARE(form.ComboBox3->currentText(), QStringLiteral("W25Q32"));

        // Showing reloads the file: records changed there replace the rows.
        WriteFile({records[3]});
        form.show(); // the show handler runs on showing
        QCOMPARE(form.RowCount(), 2);
        QCOMPARE(form.Cells(2, 1), QStringLiteral("AT93C56"));
        QCOMPARE(form.ComboBox1->count(), 1);
        form.close();
    }

    void showSplitsAtTheFirstTwoCommasWithoutTrimming() {
        WriteFile({MakeRecord(" A , b ,C,D"), MakeRecord("NoComma"), MakeRecord("a,,c"),
                   MakeRecord("X,B,c")});
        ChipEditorDialog form;
        Open(form);
        QCOMPARE(form.RowCount(), 5);
        QCOMPARE(RowTexts(form, 1).mid(0, 3), (QStringList{" A ", " b ", "C,D"}));
        QCOMPARE(RowTexts(form, 2).mid(0, 3), (QStringList{"", "", "NoComma"}));
        QCOMPARE(RowTexts(form, 3).mid(0, 3), (QStringList{"a", "", "c"}));
        // Lists: no empty maker, letter case ignored when a name is already in.
        QCOMPARE(form.ComboBox2->count(), 2); // " b ", "B"
        QCOMPARE(form.ComboBox3->count(), 3); // "C,D", "NoComma", "c"
        QCOMPARE(form.ComboBox1->count(), 4); // " A ", "", "a", "X"
    }

    void saveWithoutChangesRewritesTheSameFile() {
        const QByteArray before = ReadAll(path);
        QCOMPARE(before.size(), 6 * 68);
        ChipEditorDialog form;
        Open(form);
        form.BtnSaveClick();
        QCOMPARE(prompts.log.size(), std::size_t(0));
        QCOMPARE(ReadAll(path), before);

        // A file without terminator gains one; the rest of that slot is what
        // memory held there.
        WriteFile(records, false);
        db.Clear();
        db[5].NameText[30] = 0x33;
        db[5].ChipId = 0x11223344;
        db[5].Voltage = 9;
        ChipEditorDialog second;
        Open(second);
        second.BtnSaveClick();
        const QByteArray after = ReadAll(path);
        QCOMPARE(after.size(), 6 * 68);
        QCOMPARE(after.left(5 * 68), before.left(5 * 68));
        QCOMPARE(after.mid(5 * 68, 20), QByteArray(20, '\0'));
        QCOMPARE(after.mid(5 * 68 + 20), Bytes(db[5]).mid(20));
    }

    void deletingTheOnlyRowSavesAnEmptyDatabase() {
        WriteFile({records[0]});
        ChipEditorDialog form;
        Open(form);
        form.BtnDeleteClick();
        QCOMPARE(form.RowCount(), 1);
        form.BtnDeleteClick(); // nothing left to delete
        QCOMPARE(form.RowCount(), 1);
        form.BtnSaveClick();
        const QByteArray file = ReadAll(path);
        QCOMPARE(file.size(), 68);
        QCOMPARE(file.left(20), QByteArray(20, '\0'));
        QVERIFY(NameTextEmpty(db[0]));
        QCOMPARE(db.RecordCount(), 0);
    }

    void deleteRemovesTheCurrentRow() {
        ChipEditorDialog form;
        Open(form);
        Pick(form, 2, 3);
        form.BtnDeleteClick();
        QCOMPARE(form.RowCount(), 5);
        QCOMPARE(form.Cells(2, 2), QStringLiteral("AT24C32"));
        QCOMPARE(form.Cells(0, 2), QStringLiteral("24_EEPROM"));
        QCOMPARE(form.Cells(7, 3), QStringLiteral("88"));
        form.BtnSaveClick();
        QCOMPARE(ReadAll(path).size(), 5 * 68);
        QCOMPARE(NameTextBytes(db[1]), NameTextBytes(records[2]));
        QCOMPARE(Bytes(db[1]).mid(48), Bytes(records[2]).mid(48));
    }

    void editBeforeAnySelectionChangesNothing() {
        ChipEditorDialog form;
        Open(form);
        const QStringList first = RowTexts(form, 1);
        QCOMPARE(form.SelectedRow, 0);
        form.ComboBox1->setEditText("Changed");
        form.BtnEditClick();
        form.StringGrid1DblClick();
        QCOMPARE(RowTexts(form, 1), first);
        QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("Changed"));
        QCOMPARE(prompts.log.size(), std::size_t(0));
    }

    void selectedRowIsKeptFromOneOpeningToTheNext() {
        ChipEditorDialog form;
        Open(form);
        Pick(form, 4);
        QCOMPARE(form.SelectedRow, 4);
        form.FormShow();
        QCOMPARE(form.SelectedRow, 4);
        // A row that vanished with a shorter file is not edited.
        WriteFile({records[0]});
        form.FormShow();
        form.BtnEditClick();
        form.StringGrid1DblClick();
        QCOMPARE(form.RowCount(), 2);
    }

    void doubleClickLoadsTheRowIntoTheControls() {
        ChipEditorDialog form;
        Open(form);
        Pick(form, 3); // 24-series, 4 KB
        form.StringGrid1DblClick();
        QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("24_EEPROM"));
        QCOMPARE(form.ComboBox3->currentText(), QStringLiteral("AT24C32"));
        QCOMPARE(form.ComboBox9->currentText(), QStringLiteral("0x0"));
        QCOMPARE(form.ComboBox5->currentText(), QStringLiteral("4KB"));
        QCOMPARE(form.ComboBox6->currentText(), QStringLiteral("32"));
        QCOMPARE(form.ComboBox4->currentIndex(), 1);
        QCOMPARE(form.ComboBox8->count(), 2);
        QCOMPARE(form.ComboBox8->currentText(), U("大于等于4KB"));
        QCOMPARE(form.Edit1->text(), QStringLiteral("10"));
        QCOMPARE(form.ComboBox7->currentText(), QStringLiteral("5.0V"));
        QCOMPARE(form.ComboBox10->currentText(), QStringLiteral("4KB"));
        QCOMPARE(form.ComboBox11->currentText(), QStringLiteral("32"));
        QCOMPARE(form.ComboBox12->currentText(), QStringLiteral("7"));

        Pick(form, 2); // SST: the stored SubType picks the algorithm
        form.StringGrid1DblClick();
        QCOMPARE(form.ComboBox8->currentText(), U("SST SPI flash"));
        QCOMPARE(form.ComboBox10->currentText(), QStringLiteral("0B"));

        // Typed cells: numbers by the integer rule, sizes below 64 bytes
        // leave the capacity box without an item, a 2 KB 24-series chip gets
        // the small-chip algorithm whatever its SubType says.
        form.SetCells(4, 3, "$800");
        form.SetCells(7, 3, "1");
        form.SetCells(8, 3, " +0x1F");
        Pick(form, 3);
        form.StringGrid1DblClick();
        QCOMPARE(form.ComboBox5->currentText(), QStringLiteral("2KB"));
        QCOMPARE(form.ComboBox8->currentText(), U("小于4KB"));
        QCOMPARE(form.Edit1->text(), QStringLiteral("31"));
        form.SetCells(4, 3, "32");
        form.StringGrid1DblClick();
        QCOMPARE(form.ComboBox5->currentIndex(), -1);
    }

    void doubleClickWithTheMouse() {
        ChipEditorDialog form;
        Open(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.SelectedRow, 0); // showing and focusing choose nothing
        QTableWidget* grid = form.StringGrid1;
        const QPoint at = grid->visualRect(grid->model()->index(3, 1)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(form.SelectedRow, 4);
        QCOMPARE(form.ComboBox3->currentText(), QStringLiteral("AT93C56"));
        // A double click loads the row; it opens no cell editor.
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        for (const QLineEdit* editor : grid->viewport()->findChildren<QLineEdit*>())
            QVERIFY(!editor->isVisible());
        form.BtnExitClick();
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }

    void familyThreeAlgorithmComesFromTheCapacity() {
        ChipEditorDialog form;
        Open(form);
        Pick(form, 5); // family 3, SubType 2, 128 KB
        form.StringGrid1DblClick();
        QCOMPARE(form.ComboBox8->count(), 3);
        QCOMPARE(form.ComboBox8->currentIndex(), 1);
        QCOMPARE(form.ComboBox8->currentText(), U("大等于512B"));
        form.BtnEditClick();
        QCOMPARE(form.Cells(7, 5), QStringLiteral("1"));
        QCOMPARE(form.Cells(4, 5), QStringLiteral("131072"));
    }

    void microwireSubTypeRoundTrips() {
        ChipEditorDialog form;
        Open(form);
        Pick(form, 4); // family 2, SubType 88
        form.StringGrid1DblClick();
        QCOMPARE(form.ComboBox8->count(), 10);
        QCOMPARE(form.ComboBox8->currentText(), QStringLiteral("93C57 16 BITS"));
        form.BtnEditClick();
        QCOMPARE(form.Cells(7, 4), QStringLiteral("88"));
        form.ComboBox8->setCurrentIndex(2); // "93C66 8 BITS"
        form.BtnEditClick();
        QCOMPARE(form.Cells(7, 4), QStringLiteral("9"));
        QCOMPARE(RowTexts(form, 4).mid(0, 7),
                 (QStringList{"93_EEPROM", "Atmel", "AT93C56", "0x0", "256", "2", "2"}));
    }

    void classBoxChoosesTheAlgorithmList() {
        ChipEditorDialog form;
        const int counts[] = {2, 2, 10, 3, 3};
        for (int family = 0; family < 5; ++family) {
            form.ComboBox4->setCurrentIndex(family);
            form.ComboBox4Change();
            QCOMPARE(form.ComboBox8->count(), counts[family]);
            QCOMPARE(form.ComboBox8->currentIndex(), 0);
        }
        QCOMPARE(form.ComboBox8->itemText(2), U("大于64KB"));
        form.ComboBox4->setEditText("no such class");
        form.ComboBox4Change();
        QCOMPARE(form.ComboBox8->count(), 0);
    }

    void addAppendsARowFromTheControls() {
        ChipEditorDialog form;
        Open(form);
        form.ComboBox1->setEditText("SPI_FLASH");
        form.ComboBox2->setEditText("Big");
        form.ComboBox3->setEditText("B512");
        form.ComboBox9->setEditText("0xEF4020");
        form.ComboBox4->setCurrentIndex(0);
        form.ComboBox4Change();
        form.ComboBox5->setCurrentIndex(20); // 64MB
        form.ComboBox6->setCurrentIndex(8);
        form.ComboBox7->setCurrentIndex(1);
        form.ComboBox10->setCurrentIndex(0);
        form.ComboBox11->setCurrentIndex(0);
        form.ComboBox12->setEditText("3");
        form.BtnAddClick();
        QCOMPARE(form.RowCount(), 7);
        QCOMPARE(form.SelectedRow, 6);
        QCOMPARE(RowTexts(form, 6), (QStringList{"SPI_FLASH", "Big", "B512", "0xEF4020", "67108864",
                                                 "256", "0", "0", "100", "1", "0", "1", "3"}));
        form.BtnSaveClick();
        QCOMPARE(ReadAll(path).size(), 7 * 68);
        QCOMPARE(db[5].FlashSize, 67108864u);
        QCOMPARE(db[5].ChipId, 0xEF4020u);
        QCOMPARE(std::string(NameTextBytes(db[5])), std::string("SPI_FLASH,Big,B512"));
    }

    void addWithTheInitialBoxesUsesTheItemsTheyShow() {
        ChipEditorDialog form;
        Open(form);
        // The extension box starts empty, which is no number: Add says so
        // rather than leaving Save to find it.
        form.BtnAddClick();
        QCOMPARE(form.RowCount(), 6);
        QCOMPARE(prompts.texts("error"), Strings{"The box \"Extend\" is empty; enter a number."});
        // The class and voltage boxes show the texts of their first items
        // without having an item chosen; those items are taken.
        form.ComboBox12->setEditText("0");
        form.BtnAddClick();
        QCOMPARE(form.RowCount(), 7);
        QCOMPARE(RowTexts(form, 6).mid(3),
                 (QStringList{"0", "64", "1", "0", "0", "100", "0", "2", "4", "0"}));
    }

    void namesAreTrimmedAndJoinedWithCommas() {
        ChipEditorDialog form;
        Open(form);
        form.SetCells(0, 1, " A ");
        form.SetCells(1, 1, "B");
        form.SetCells(2, 1, "C");
        form.BtnSaveClick();
        QCOMPARE(std::string(NameTextBytes(db[0])), std::string("A,B,C"));
        const QByteArray file = ReadAll(path);
        QCOMPARE(file.left(6), QByteArray("A,B,C\0", 6));
        QCOMPARE(quint8(file.at(40)), quint8(0x5A)); // after the zero: kept

        // Chinese names are stored as GBK.
        form.SetCells(0, 2, U("闪存"));
        form.BtnSaveClick();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(db[1].NameText.data()), 8),
                 QByteArray("\xC9\xC1\xB4\xE6,SST", 8));
    }

    void notANumberStopsTheSaveAndChangesNothing() {
        const QByteArray before = ReadAll(path);
        ChipEditorDialog form;
        Open(form);
        const ChipRecord first = db[0];
        form.SetCells(3, 1, "0x1234");
        form.SetCells(8, 3, "12x");
        form.BtnSaveClick();
        QCOMPARE(prompts.texts("error"), Strings{"Delay: '12x' is not a valid integer value"});
        QCOMPARE(ReadAll(path), before);
        QVERIFY(db[0] == first); // earlier rows are not half-saved either

        // The fill's integer rule reads the cells (its own tests cover it
        // in full): hexadecimal after "$" or "0X", blanks before, a sign.
        const struct {
            const char* text;
            std::uint16_t value;
        } accepted[] = {{"  12", 12}, {"$1F", 31}, {"0X0A", 10}, {"-0", 0}};
        for (const auto& a : accepted) {
            form.SetCells(8, 3, a.text);
            prompts.clear();
            form.BtnSaveClick();
            QVERIFY2(prompts.log.empty(), a.text);
            QCOMPARE(db[2].Delay, a.value);
        }
        for (const char* bad : {"", "12 ", "0x", "1.5"}) {
            form.SetCells(8, 3, bad);
            prompts.clear();
            form.BtnSaveClick();
            QCOMPARE(prompts.texts("error"),
                     Strings{"Delay: '" + std::string(bad) + "' is not a valid integer value"});
        }
    }

    void doubleClickStopsAtACellThatIsNotANumber() {
        ChipEditorDialog form;
        Open(form);
        form.SetCells(8, 3, "soon");
        Pick(form, 3);
        form.StringGrid1DblClick();
        QCOMPARE(prompts.texts("error"), Strings{"Delay: 'soon' is not a valid integer value"});
        QCOMPARE(form.ComboBox5->currentText(), QStringLiteral("4KB")); // loaded before
        QCOMPARE(form.Edit1->text(), QStringLiteral("100"));            // not after
        QCOMPARE(form.ComboBox7->currentIndex(), -1);
    }

    void numbersThatDoNotFitTheirFieldAreRefused() {
        const QByteArray before = ReadAll(path);
        ChipEditorDialog form;
        Open(form);
        const struct {
            int col;
            const char* text;
            const char* message;
        } cases[] = {
            {6, "256", "Row 2, column \"Class\": 256 does not fit (0 to 255)."},
            {8, "65536", "Row 2, column \"Delay\": 65536 does not fit (0 to 65535)."},
            {10, "0x10000", "Row 2, column \"EEPROM\": 65536 does not fit (0 to 65535)."},
            {3, "-1", "Row 2, column \"Chip ID\": -1 does not fit (0 to 4294967295)."},
        };
        for (const auto& c : cases) {
            const QString old = form.Cells(c.col, 2);
            form.SetCells(c.col, 2, c.text);
            prompts.clear();
            form.BtnSaveClick();
            QCOMPARE(prompts.texts("error"), Strings{c.message});
            form.SetCells(c.col, 2, old);
        }
        QCOMPARE(ReadAll(path), before);
        // The largest values do fit.
        form.SetCells(3, 2, "$FFFFFFFF");
        form.SetCells(10, 2, "65535");
        prompts.clear();
        form.BtnSaveClick();
        QVERIFY(prompts.log.empty());
        QCOMPARE(db[1].ChipId, 0xFFFFFFFFu);

        // An EEPROM size the field cannot hold is refused on Add already.
        form.ComboBox10->setCurrentIndex(16); // 64KB
        form.ComboBox12->setEditText("0");
        prompts.clear();
        form.BtnAddClick();
        QCOMPARE(form.RowCount(), 6);
        QCOMPARE(prompts.texts("error"),
                 Strings{"Row 6, column \"EEPROM\": 65536 does not fit (0 to 65535)."});
    }

    void namesLongerThan47BytesAreRefused() {
        ChipEditorDialog form;
        Open(form);
        const QByteArray before = ReadAll(path);
        // 20 Chinese characters are 40 GBK bytes, but 60 UTF-8 bytes.
        const QString chinese = U("闪存闪存闪存闪存闪存闪存闪存闪存闪存闪存");
        form.SetCells(2, 1, chinese + "x"); // "SPI_FLASH,Winbond," is 18 more: 59
        form.BtnSaveClick();
        QCOMPARE(prompts.texts("error"),
                 Strings{"Row 1: the names \"SPI_FLASH,Winbond," + (chinese + "x").toStdString() +
                         "\" take 59 bytes; at most 47 fit."});
        QCOMPARE(ReadAll(path), before);

        // Exactly 47 bytes fit.
        form.SetCells(0, 1, "T");
        form.SetCells(1, 1, "M");
        form.SetCells(2, 1, chinese + "abc"); // 1 + 1 + 1 + 1 + 40 + 3
        prompts.clear();
        form.BtnSaveClick();
        QVERIFY(prompts.log.empty());
        QCOMPARE(NameTextBytes(db[0]).size(), std::size_t(47));

        // Characters without a GBK form.
        form.SetCells(2, 1, U("😀"));
        prompts.clear();
        form.BtnSaveClick();
        QCOMPARE(prompts.texts("error").size(), std::size_t(1));
        QVERIFY(prompts.texts("error")[0].find("cannot store") != std::string::npos);

        // Add refuses too long names before the grid changes.
        form.ComboBox1->setEditText(chinese);
        form.ComboBox3->setEditText("x");
        prompts.clear();
        form.BtnAddClick();
        QCOMPARE(form.RowCount(), 6);
        QCOMPARE(prompts.texts("error").size(), std::size_t(1));
    }

    void boxesWithoutAChosenItemRefuseAddAndEdit() {
        ChipEditorDialog form;
        Open(form);
        Pick(form, 1);
        const QStringList first = RowTexts(form, 1);
        form.ComboBox4->setEditText("26 flash");
        form.BtnAddClick();
        form.BtnEditClick();
        QCOMPARE(form.RowCount(), 6);
        QCOMPARE(RowTexts(form, 1), first);
        QCOMPARE(prompts.texts("error"), (Strings{"Choose an item in the box \"Class\".",
                                                  "Choose an item in the box \"Class\"."}));

        form.ComboBox4->setCurrentIndex(0);
        form.ComboBox4Change();
        form.ComboBox6->setEditText("512");
        prompts.clear();
        SetCurrentLanguage(SimplifiedChinese);
        form.ApplyCaptions(SimplifiedChinese);
        form.BtnEditClick();
        SetCurrentLanguage(English);
        QCOMPARE(prompts.texts("error"), Strings{"请在“FLASH页”框中选择一项。"});
        QCOMPARE(RowTexts(form, 1), first);
    }

    void atMost999RowsAreKept() {
        std::vector<ChipRecord> many(999, MakeRecord("T,M,N"));
        WriteFile(many);
        ChipEditorDialog form;
        Open(form);
        QCOMPARE(form.RowCount(), 1000);
        form.BtnAddClick();
        QCOMPARE(form.RowCount(), 1000);
        QCOMPARE(prompts.texts("error"),
                 Strings{"The chip database holds at most 999 chips; delete rows first."});
        prompts.clear();
        form.BtnSaveClick();
        QVERIFY(prompts.log.empty());
        QCOMPARE(ReadAll(path).size(), 1000 * 68);

        // A full file of 1000 records shows them all but cannot be saved
        // until one is deleted.
        many.push_back(MakeRecord("T,M,Last"));
        WriteFile(many, false);
        const QByteArray before = ReadAll(path);
        form.FormShow();
        QCOMPARE(form.RowCount(), 1001);
        prompts.clear();
        form.BtnSaveClick();
        QCOMPARE(prompts.texts("error").size(), std::size_t(1));
        QCOMPARE(ReadAll(path), before);
        Pick(form, 1);
        form.BtnDeleteClick();
        prompts.clear();
        form.BtnSaveClick();
        QVERIFY(prompts.log.empty());
        QCOMPARE(ReadAll(path).size(), 1000 * 68);
    }

    void aFileThatCannotBeReplacedIsReported() {
        ChipEditorDialog form;
        Open(form);
        form.setDatabasePath(dir.filePath("missing/vantor.Dat").toStdString());
        form.SetCells(2, 1, "Renamed");
        form.BtnSaveClick();
        QCOMPARE(prompts.texts("error"),
                 Strings{CannotCreateFileText(dir.filePath("missing/vantor.Dat").toStdString())});
        // Memory already holds the saved rows.
        QCOMPARE(std::string(NameTextBytes(db[0])), std::string("SPI_FLASH,Winbond,Renamed"));
    }

    void aBrokenFileKeepsTheRecordsInMemory() {
        ChipEditorDialog form;
        Open(form);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(69, 'x'));
        file.close();
        form.FormShow();
        QCOMPARE(prompts.texts("information"), Strings{"配置文件被破坏！"});
        QCOMPARE(form.RowCount(), 6);
    }
};

QTEST_MAIN(ChipEditorTest)
#include "ChipEditorTest.moc"
