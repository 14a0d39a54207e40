// The main window's shell: construction, layout, log and closing.
#include "app/MainWindow.h"
#include "app/AboutBox.h"
#include "app/Application.h"
#include "app/StatusBar.h"
#include "controls/HexEditorControl.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolBar>
#include <QtTest>
#include <memory>

using namespace vantor;

class MainWindowTest : public QObject {
    Q_OBJECT
    // Every window here lives beside a fresh temporary "executable", so no
    // settings or database leak between tests.
    std::unique_ptr<QTemporaryDir> dir_;
    std::string exe() const { return (dir_->path() + "/vantor").toStdString(); }
    QString iniPath() const { return dir_->path() + "/vantor.ini"; }
    void writeIni(const QByteArray& text) {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray readIni() {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init() {
        SetCurrentLanguage(0);
        dir_ = std::make_unique<QTemporaryDir>();
    }

    void constructedState() {
        MainWindow form(exe());
        QCOMPARE(form.Buffer.UsedLength, 0);
        QCOMPARE(form.logCounter(), 1);
        QCOMPARE(form.StartTime, 0.0);
        QCOMPARE(form.StopTime, 0.0);
        const uint8_t* data = form.Buffer.data();
        bool allFF = true;
        for (uint32_t i = 0; i < DataBuffer::capacity(); i += 4093)
            allFF &= data[i] == 0xFF;
        QVERIFY(allFF);
        QCOMPARE(data[DataBuffer::size() - 1], uint8_t(0xFF));
        QVERIFY(!form.Progress->isVisibleTo(&form));
    }

    void designTextsUntilChipSelection() {
        MainWindow form(exe());
        QCOMPARE(form.ComboBox1->currentText(), QString("ComboBox1"));
        QCOMPARE(form.ComboBox2->currentText(), QString("ComboBox2"));
        QCOMPARE(form.ComboBox3->currentText(), QString("ComboBox3"));
        QCOMPARE(form.ComboBox5->currentText(), QString("ComboBox5"));
        QCOMPARE(form.Edit1->text(), QString("Edit1"));
        QCOMPARE(form.Edit2->text(), QString("Edit2"));
        QCOMPARE(form.ComboBox5->count(), 21);
        QCOMPARE(form.ComboBox5->itemText(20), QString("64MB"));
        QCOMPARE(form.ComboBox4->count(), 6);
        QCOMPARE(form.ComboBox4->currentText(), QString("12MHz"));
        QCOMPARE(form.ComboBox4->itemText(5), QString("375KHz"));
        for (QCheckBox* box : {form.CheckBox1, form.CheckBox2, form.CheckBox3})
            QVERIFY(box->isChecked());
    }

    void toolbarOrderWithSeparatorsAndHiddenDevice() {
        MainWindow form(exe());
        QStringList order;
        for (QAction* a : form.ToolBar1->actions())
            order << (a->isSeparator() ? "|" : a->objectName());
        QCOMPARE(order, QStringList({"ToolOpen", "ToolSave", "|", "ToolRead", "ToolErase",
                                     "ToolWrite", "ToolVerify", "ToolAuto", "|", "ToolBank",
                                     "ToolFill", "|", "ToolDevice", "ToolAbout"}));
        QVERIFY(!form.ToolDevice->isVisible());
        QVERIFY(!form.N3->isVisible());
        QCOMPARE(form.ToolBar1->iconSize(), QSize(32, 32));
        QCOMPARE(form.ToolBar1->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        for (QAction* a : form.ToolBar1->actions())
            if (!a->isSeparator())
                QVERIFY2(!a->icon().isNull(), qPrintable(a->objectName()));
    }

    void menuItems() {
        MainWindow form(exe());
        QStringList top;
        for (QAction* a : form.menuBar()->actions())
            top << a->text();
        // The specified menus, with the production log's before Help.
        QCOMPARE(top, QStringList({"文件(&F)", "缓冲区(&B)", "操作(&O)", "设备(&Y)", "语言(&L)",
                                   "日志(&G)", "帮助(&H)"}));
        QStringList operation;
        for (QAction* a : form.O3->actions())
            operation << (a->isSeparator() ? "|" : a->objectName());
        // The specified items, then the bench tools after a separator.
        QCOMPARE(operation, QStringList({"A1", "|", "E1", "W1", "R1", "V1", "N7", "|", "DetectItem",
                                         "FindChipItem", "|", "ReadTwiceItem", "UnprotectItem", "|",
                                         "StopItem"}));
        QVERIFY(form.China->isChecked());
    }

    void firstStartShowsWholeHexRowsCentred() {
        auto windows = CreateWindows(exe());
        MainWindow& form = *windows->Form1;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // A whole row with its characters, no sideways scrolling, and at
        // least 20 rows (the test screen has room for them).
        QCOMPARE(form.FlashEditor->horizontalScrollBar()->maximum(), 0);
        QVERIFY2(form.FlashEditor->pageRows() >= 20,
                 qPrintable(QString::number(form.FlashEditor->pageRows())));
        QRect screen = form.screen()->availableGeometry();
        QVERIFY(screen.contains(form.frameGeometry()));
        QPoint centre = form.frameGeometry().center();
        QVERIFY(qAbs(centre.x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(centre.y() - screen.center().y()) <= 1);
        // Later showings keep the position.
        form.move(form.pos() + QPoint(-13, -7));
        QPoint moved = form.pos();
        form.hide();
        form.show();
        QCOMPARE(form.pos(), moved);
    }

    void statusPanelsAndProgressBarAfterResize() {
        MainWindow form(exe());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (QSize size : {QSize(640, 480), QSize(1000, 600), QSize(700, 500)}) {
            form.resize(size);
            QCoreApplication::processEvents();
            StatusBar* bar = form.StatusBar1;
            QCOMPARE(bar->panelRect(0).width(), 50);
            QCOMPARE(bar->panelRect(1).width(), 120);
            QCOMPARE(bar->panelRect(2).width(), 70);
            QCOMPARE(bar->panelRect(3).width(), 75);
            QCOMPARE(bar->panelRect(4).width(), 50);
            QCOMPARE(bar->panelRect(4).left(), 315);
            QCOMPARE(form.Progress->parentWidget(), static_cast<QWidget*>(bar));
            QCOMPARE(form.Progress->x(), 317);
            QCOMPARE(form.Progress->width(), bar->width() - 315);
            QCOMPARE(form.Progress->y(), bar->borderWidth() + 2);
        }
        QCOMPARE(form.StatusBar1->panelText(3), QString("00:00:00"));
        QCOMPARE(form.StatusBar1->panelText(0), QString("状态"));
        QCOMPARE(form.StatusBar1->panelText(2), QString("使用时间"));
    }

    void logLinesAreNumberedNewestFirst() {
        MainWindow form(exe());
        form.LogLine("Read Complete!");
        form.LogLine("Erase Complete!");
        for (int i = 3; i <= 10; ++i)
            form.LogLine("x");
        QStringList lines = form.logLines();
        QCOMPARE(lines.size(), 10);
        QCOMPARE(lines.first(), QString("010:x"));
        QCOMPARE(lines[8], QString("002:Erase Complete!"));
        QCOMPARE(lines.last(), QString("001:Read Complete!"));
    }

    void quitRunsTheCloseHandlerAndCloses() {
        MainWindow form(exe());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        bool closed = false;
        struct Spy : QObject {
            bool* flag;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Close)
                    *flag = true;
                return false;
            }
        } spy;
        spy.flag = &closed;
        form.installEventFilter(&spy);
        form.Q1->trigger();
        QVERIFY(closed);
        QVERIFY(!form.isVisible());
    }

    void showErrorGoesThroughThePrompts() {
        RecordingPrompts rec;
        ScopedPrompts scope(rec);
        MainWindow form(exe());
        form.ShowError("boom");
        QCOMPARE(rec.texts("error"), std::vector<std::string>{"boom"});
    }

    void aboutBoxTexts() {
        AboutBox box;
        QCOMPARE(box.windowTitle(), QString("About"));
        QCOMPARE(box.Version->text(), QString("Vantor+ Version 3.0"));
        QCOMPARE(box.Version->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QVERIFY(!box.Copyright->text().isEmpty());
        QVERIFY(box.OKButton->isDefault());
        box.layout()->activate();
        QCOMPARE(box.minimumSize(), box.maximumSize()); // fixed size, as its texts need
        QVERIFY(!box.ProgramIcon->pixmap().isNull());
    }

    void languageSwitchSetsCaptionsAndChecks() {
        auto windows = CreateWindows(exe());
        MainWindow& form = *windows->Form1;
        form.EnlishClick();
        QCOMPARE(form.windowTitle(), QString("Vantor+ USB High Speed Programmer"));
        QCOMPARE(form.ToolFill->text(), QString("FIll"));
        QCOMPARE(form.BitBtn1->text(), QString("Test(&D)"));
        QVERIFY(form.Enlish->isChecked() && !form.China->isChecked() && !form.fanti->isChecked());
        form.fantiClick();
        QCOMPARE(form.China->text(), QString("中文简体"));
        QCOMPARE(form.fanti->text(), QString("中文繁體"));
        QCOMPARE(form.StatusBar1->panelText(2), QString("使用時間"));
        form.ChinaClick();
        QCOMPARE(form.China->text(), QString("中文"));
        QCOMPARE(form.fanti->text(), QString("繁體"));
        QCOMPARE(form.Enlish->text(), QString("Enlish"));
        // An index outside 0..2 changes nothing at all.
        SetCurrentLanguage(7);
        form.ApplyLanguage();
        QCOMPARE(form.China->text(), QString("中文"));
        QVERIFY(form.China->isChecked());
        SetCurrentLanguage(0);
    }

    void settingsWrittenAtCloseInOrder() {
        {
            MainWindow form(exe());
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            form.ComboBox4->setCurrentIndex(3);
            form.EnlishClick();
            form.close();
        }
        SetCurrentLanguage(0);
        QList<QByteArray> lines = readIni().split('\n');
        QStringList keys;
        for (const QByteArray& line : lines)
            if (!line.isEmpty())
                keys << QString(line).section('=', 0, 0);
        QCOMPARE(keys, QStringList({"[Environment]", "FormHeight", "FormWidth", "FormTop",
                                    "FormLeft", "FormMax", "LogHeight", "[CHIP]", "INDEX1",
                                    "INDEX2", "INDEX3", "[DEVICE]", "SPEED", "LANGU"}));
        QVERIFY(readIni().contains("SPEED=3"));
        QVERIFY(readIni().contains("LANGU=2"));
        QVERIFY(readIni().contains("FormMax=0"));
    }

    void settingsAppliedAtCreation() {
        writeIni("[device]\nSPEED=0x3\nlangu=2\nchip=1\n");
        {
            auto windows = CreateWindows(exe());
            MainWindow& form = *windows->Form1;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QCOMPARE(form.ComboBox4->currentText(), QString("1.5MHz"));
            QVERIFY(form.Enlish->isChecked());
            QCOMPARE(form.windowTitle(), QString("Vantor+ USB High Speed Programmer"));
            QVERIFY(form.ToolDevice->isVisible());
            QVERIFY(form.N3->isVisible());
            form.close();
        }
        SetCurrentLanguage(0);
        // The read-only key survives the program's own write.
        QVERIFY(readIni().contains("chip=1"));
    }

    void speedOutOfRangeLeavesNoSelectionAndWritesMinusOne() {
        writeIni("[DEVICE]\nSPEED=9\n");
        {
            MainWindow form(exe());
            QCOMPARE(form.ComboBox4->currentIndex(), -1);
            form.close();
        }
        QVERIFY(readIni().contains("SPEED=-1"));
    }

    void formMaxOpensMaximisedWithTheDesignedRestoredSize() {
        writeIni("[Environment]\nFormMax=1\nFormWidth=300\n");
        MainWindow form(exe());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.isMaximized());
        QCOMPARE(form.ComboBox4->currentText(), QString("12MHz"));
        QVERIFY(form.China->isChecked());
        QCOMPARE(form.normalGeometry().size(),
                 QSize(MainWindow::kDesignWidth, MainWindow::kDesignHeight));
    }

    void openSaveAndFillGoThroughTheBufferAndThePane() {
        QVERIFY(QFile::copy(VANTOR_SHIPPED_DB, dir_->path() + "/vantor.Dat"));
        RecordingPrompts rec;
        ScopedPrompts scope(rec);
        auto windows = CreateWindows(exe());
        InstallPrompts(&rec); // the windows installed real boxes
        MainWindow& form = *windows->Form1;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const uint32_t flashSize = form.CurrentChip().FlashSize;
        QVERIFY(flashSize > 0);
        QCOMPARE(form.FlashEditor->GetDataSize(), size_t(flashSize));

        QString bin = dir_->path() + "/image.bin";
        QFile f(bin);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x12\x34\x56", 3));
        f.close();
        rec.fileAnswers = {bin.toStdString()};
        form.ToolOpen->trigger();
        QCOMPARE(form.Buffer.UsedLength, 3);
        uint8_t shown[4] = {};
        form.FlashEditor->ReadBuffer(shown, 0, 4);
        QCOMPARE(shown[1], uint8_t(0x34));
        QCOMPARE(shown[3], uint8_t(0xFF));

        // An edit in the pane reaches the saved file.
        form.FlashEditor->setFocus();
        QTest::keyClicks(form.FlashEditor, "AB");
        QString hex = dir_->path() + "/image.hex";
        rec.fileAnswers = {hex.toStdString()};
        form.ToolSave->trigger();
        QVERIFY(QFile::exists(hex));
        QCOMPARE(form.Buffer[0], uint8_t(0xAB));
        QCOMPARE(form.Buffer.UsedLength,
                 int32_t(flashSize)); // the pane's size, bounded by the chip
        QVERIFY(rec.texts("error").empty());
    }

    void englishTwiceAndTheOldNotConnectedTextLosesItsRed() {
        auto windows = CreateWindows(exe());
        MainWindow& form = *windows->Form1;
        form.StatusBar1->setPanelText(1, QString::fromStdString(Message(13, 0)));
        QCOMPARE(form.StatusBar1->panel1Colour(), QColor(255, 0, 0));
        form.EnlishClick();
        QString title = form.windowTitle();
        form.EnlishClick();
        QCOMPARE(form.windowTitle(), title);
        QVERIFY(form.Enlish->isChecked() && !form.China->isChecked());
        // The text stays as written; it no longer reads "Not connected" now.
        QCOMPARE(form.StatusBar1->panelText(1), QString::fromStdString(Message(13, 0)));
        QCOMPARE(form.StatusBar1->panel1Colour(),
                 form.StatusBar1->palette().color(QPalette::ButtonText));
        form.StatusBar1->setPanelText(1, "Not connected");
        QCOMPARE(form.StatusBar1->panel1Colour(), QColor(255, 0, 0));
        SetCurrentLanguage(0);
    }

    void closingMaximisedWritesItAndReopensMaximised() {
        {
            MainWindow form(exe());
            form.showMaximized();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QVERIFY(form.isMaximized());
            form.close();
        }
        QVERIFY(readIni().contains("FormMax=1"));
        MainWindow again(exe());
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QVERIFY(again.isMaximized());
    }

    void unwritableSettingsAreReportedAndTheWindowStillCloses() {
        RecordingPrompts rec;
        ScopedPrompts scope(rec);
        QDir().mkpath(iniPath()); // a folder where the file should be
        MainWindow form(exe());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.close();
        QVERIFY(!form.isVisible());
        QCOMPARE(rec.texts("error").size(), size_t(1));
        QVERIFY(QString::fromStdString(rec.texts("error")[0]).startsWith("Unable to write to "));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
