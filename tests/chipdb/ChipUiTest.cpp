// The find dialog and the chip box binder, driven headless.
#include "chipdb/ui/ChipBoxBinder.h"
#include "chipdb/ui/ChipFindDialog.h"
#include "tests/chipdb/ChipTestUtil.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using namespace vantor;
using vantor::test::MakeRecord;

class ChipUiTest : public QObject {
    Q_OBJECT

private:
    ChipDatabase db;
    void FillDb() {
        db.Clear();
        test::Fill(db, {MakeRecord("SPI,Winbond,W25Q32", 4u << 20), MakeRecord("SPI,GD,GD25Q32"),
                        MakeRecord("SPI,Winbond,W25Q64", 8u << 20),
                        MakeRecord("24,Atmel,AT24C02", 256, 8), MakeRecord("SPI,Winbond,W25Q32")});
    }
    static QStringList Column(const QTreeWidget* list, int column) {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out << list->topLevelItem(i)->text(column);
        return out;
    }

private slots:
    void init() { FillDb(); }

    void findDialogStartsWithSelectDisabledAndFourColumns() {
        ChipFindDialog form;
        form.ApplyCaptions(2);
        QVERIFY(!form.BitBtn1->isEnabled());
        QCOMPARE(form.ListView1->columnCount(), 4);
        QCOMPARE(form.ListView1->columnWidth(0), 80);
        QCOMPARE(form.ListView1->columnWidth(1), 80);
        QCOMPARE(form.ListView1->columnWidth(2), 100);
        QCOMPARE(form.ListView1->columnWidth(3), 1);
        QCOMPARE(form.ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(form.ListView1->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(form.ComboBox1->isEditable());
        QCOMPARE(form.ComboBox1->count(), 0);
    }

    void captionsFollowTheLanguage() {
        ChipFindDialog form;
        const struct {
            int language;
            const char *window, *find, *select, *quit, *type, *maker, *name;
        } expected[] = {
            {0, "芯片选择", "查找", "选择", "退出", "类型", "厂商", "名称"},
            {1, "芯片選擇", "查找", "選擇", "退出", "類型", "廠商", "名稱"},
            {2, "Chip Select", "Find", "Select", "Quit", "Type", "Manufacturer", "Name"},
        };
        for (const auto& e : expected) {
            form.ApplyCaptions(e.language);
            QCOMPARE(form.windowTitle(), QString::fromUtf8(e.window));
            QCOMPARE(form.Label1->text(), QString::fromUtf8(e.find));
            QCOMPARE(form.BitBtn1->text(), QString::fromUtf8(e.select));
            QCOMPARE(form.BitBtn2->text(), QString::fromUtf8(e.quit));
            QCOMPARE(form.ListView1->headerItem()->text(0), QString::fromUtf8(e.type));
            QCOMPARE(form.ListView1->headerItem()->text(1), QString::fromUtf8(e.maker));
            QCOMPARE(form.ListView1->headerItem()->text(2), QString::fromUtf8(e.name));
            QCOMPARE(form.ListView1->headerItem()->text(3), QStringLiteral("pos"));
        }
        form.ApplyCaptions(3); // outside 0..2: nothing changes
        QCOMPARE(form.windowTitle(), QStringLiteral("Chip Select"));
        // The titles survive the list being rebuilt by a search.
        form.setDatabase(&db);
        form.ComboBox1->setEditText("W25");
        QCOMPARE(form.ListView1->headerItem()->text(1), QStringLiteral("Manufacturer"));
    }

    void showListsEveryRecordAndEveryEditFilters() {
        ChipFindDialog form;
        form.setDatabase(&db);
        form.show();
        QCOMPARE(form.ListView1->topLevelItemCount(), 5);
        QCOMPARE(Column(form.ListView1, 3), (QStringList{"0", "1", "2", "3", "4"}));

        QTest::keyClicks(form.ComboBox1, "W25Q");
        QCOMPARE(Column(form.ListView1, 2), (QStringList{"W25Q32", "W25Q64", "W25Q32"}));
        QCOMPARE(Column(form.ListView1, 3), (QStringList{"0", "2", "4"}));
        QCOMPARE(Column(form.ListView1, 0), (QStringList{"SPI", "SPI", "SPI"}));

        form.ComboBox1->setEditText("w25q");
        QCOMPARE(form.ListView1->topLevelItemCount(), 0);
        form.ComboBox1->setEditText(",");
        QCOMPARE(form.ListView1->topLevelItemCount(), 5);
        form.ComboBox1->setEditText("");
        QCOMPARE(form.ListView1->topLevelItemCount(), 0);

        // Showing again keeps the search text, and the list it filters.
        form.ComboBox1->setEditText("AT24");
        const QStringList filtered = Column(form.ListView1, 3);
        QVERIFY(filtered.size() < 5);
        form.hide();
        form.show();
        QCOMPARE(Column(form.ListView1, 3), filtered);
        QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("AT24"));
    }

    void selectLooksTheNamesUpThreeTimesAndCloses() {
        ChipSelection boxes(&db);
        boxes.SelectChip(0, 0, 0);
        QList<QList<int>> calls;
        ChipFindDialog form;
        form.setDatabase(&db);
        form.setChipBoxes(&boxes);
        form.setSelectChip([&](int t, int m, int n) {
            calls.append({t, m, n});
            boxes.SelectChip(t, m, n);
        });
        form.show();
        form.ComboBox1->setEditText("AT24");
        QVERIFY(!form.BitBtn1->isEnabled());
        form.BitBtn1Click(); // nothing selected: nothing happens
        QVERIFY(calls.isEmpty());
        QVERIFY(form.isVisible());

        form.ListView1->setCurrentItem(form.ListView1->topLevelItem(0));
        QVERIFY(form.BitBtn1->isEnabled());
        QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls.last(), (QList<int>{1, 0, 0}));
        QCOMPARE(boxes.CurrentChipIndex(), 3);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QVERIFY(!form.isVisible());

        // Of two records with the same names the first is chosen.
        calls.clear();
        form.show();
        form.ComboBox1->setEditText("W25Q32");
        form.ListView1->setCurrentItem(form.ListView1->topLevelItem(1)); // slot 4
        emit form.ListView1->activated(form.ListView1->currentIndex());
        QCOMPARE(calls.size(), 3);
        QCOMPARE(boxes.CurrentChipIndex(), 0);
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }

    void doubleClickOnARowSelects() {
        ChipSelection boxes(&db);
        boxes.SelectChip(0, 0, 0); // the main window's boxes are filled at start
        int calls = 0;
        ChipFindDialog form;
        form.setDatabase(&db);
        form.setChipBoxes(&boxes);
        form.setSelectChip([&](int t, int m, int n) {
            ++calls;
            boxes.SelectChip(t, m, n);
        });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.ComboBox1->setEditText("GD");
        QTreeWidgetItem* item = form.ListView1->topLevelItem(0);
        const QPoint at = form.ListView1->visualItemRect(item).center();
        QTest::mouseClick(form.ListView1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(form.ListView1->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(calls, 3);
        QCOMPARE(boxes.CurrentChipIndex(), 1);
    }

    void keyboardAloneChoosesARow() {
        ChipSelection boxes(&db);
        boxes.SelectChip(0, 0, 0);
        int calls = 0;
        ChipFindDialog form;
        form.setDatabase(&db);
        form.setChipBoxes(&boxes);
        form.setSelectChip([&](int t, int m, int n) {
            ++calls;
            boxes.SelectChip(t, m, n);
        });
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        // Into the list: the first row is picked, the first Down goes to the
        // second, Enter chooses it.
        form.ListView1->setFocus(Qt::TabFocusReason);
        QCOMPARE(form.ListView1->currentIndex().row(), 0);
        QVERIFY(form.BitBtn1->isEnabled());
        QTest::keyClick(form.ListView1, Qt::Key_Down);
        QCOMPARE(form.ListView1->currentIndex().row(), 1);
        QTest::keyClick(form.ListView1, Qt::Key_Return);
        QCOMPARE(calls, 3);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        // Enter in the search text chooses the picked row.
        calls = 0;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.ComboBox1->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(QApplication::focusWidget(), "GD");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form.ListView1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(calls, 3);
        QCOMPARE(boxes.CurrentChipIndex(), 1);
    }

    void quitClosesWithoutChoosing() {
        int calls = 0;
        ChipSelection boxes(&db);
        ChipFindDialog form;
        form.setDatabase(&db);
        form.setChipBoxes(&boxes);
        form.setSelectChip([&](int, int, int) { ++calls; });
        form.show();
        form.ListView1->setCurrentItem(form.ListView1->topLevelItem(0));
        QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
        QCOMPARE(calls, 0);
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QVERIFY(!form.isVisible());
    }

    void binderShowsTheSelectionAndForwardsPicks() {
        QComboBox type, maker, name, step;
        for (QComboBox* c : {&type, &maker, &name, &step})
            c->setEditable(true);
        QLineEdit size, page;
        ChipSelection model(&db);
        ChipBoxBinder binder(model, {&type, &maker, &name, &step, &size, &page});
        QSignalSpy selected(&binder, &ChipBoxBinder::chipSelected);
        QCOMPARE(step.count(), 21);
        QCOMPARE(type.insertPolicy(), QComboBox::NoInsert);

        binder.SelectChip(0, 0, 1);
        QCOMPARE(type.count(), 2);
        QCOMPARE(type.currentText(), QStringLiteral("SPI"));
        QCOMPARE(maker.count(), 2);
        QCOMPARE(name.count(), 2);
        QCOMPARE(name.currentText(), QStringLiteral("W25Q64"));
        QCOMPARE(size.text(), QStringLiteral("8388608"));
        QCOMPARE(page.text(), QStringLiteral("256"));
        QCOMPARE(step.currentText(), QStringLiteral("8MB"));
        QCOMPARE(selected.count(), 1);

        // The user picks the second type: the boxes below reset to item 0.
        type.setCurrentIndex(1);
        emit type.activated(1);
        QCOMPARE(model.SelTypeIndex, 1);
        QCOMPARE(maker.currentText(), QStringLiteral("Atmel"));
        QCOMPARE(name.currentText(), QStringLiteral("AT24C02"));
        QCOMPARE(size.text(), QStringLiteral("256"));
        QCOMPARE(step.currentText(), QStringLiteral("256B"));
        QCOMPARE(model.CurrentChipIndex(), 3);
        QCOMPARE(selected.count(), 2);

        // A position past the end chooses nothing: fields and texts stay.
        binder.SelectChip(1, 0, 5);
        QCOMPARE(name.currentIndex(), -1);
        QCOMPARE(name.currentText(), QStringLiteral("AT24C02"));
        QCOMPARE(size.text(), QStringLiteral("256"));
    }

    void binderKeepsTheInitialTextsWhenNothingIsChosen() {
        db.Clear();
        QComboBox type, maker, name, step;
        for (QComboBox* c : {&type, &maker, &name, &step})
            c->setEditable(true);
        type.setEditText("SPI FLASH");
        step.setEditText("ComboBox5");
        name.setEditText("W25Q64");
        QLineEdit size("8388608"), page("256");
        ChipSelection model(&db);
        ChipBoxBinder binder(model, {&type, &maker, &name, &step, &size, &page});
        binder.SelectChip(0, 0, 0);
        QCOMPARE(type.currentText(), QStringLiteral("SPI FLASH"));
        QCOMPARE(name.currentText(), QStringLiteral("W25Q64"));
        QCOMPARE(size.text(), QStringLiteral("8388608"));
        QCOMPARE(step.currentIndex(), -1);
        QCOMPARE(step.currentText(), QStringLiteral("ComboBox5"));
    }
};

QTEST_MAIN(ChipUiTest)
#include "ChipUiTest.moc"
