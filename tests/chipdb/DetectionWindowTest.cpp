// The Test button and the Device command of the main window, over the shipped
// chip database, against the emulator loaded the way the application loads
// libusb (this executable's RUNPATH names the emulator's folder).
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "chipdb/ChipDetection.h"
#include "chipdb/NameText.h"
#include "chipdb/ui/ChipEditorDialog.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "emulator/EmulatorClient.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <cstdlib>
#include <memory>

using namespace vantor;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

class DetectionWindowTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<EmulatorClient> emu;
    std::unique_ptr<QTemporaryDir> dir;
    RecordingPrompts prompts;

    std::string exePath() const { return dir->filePath("vantor").toStdString(); }
    // A main window beside a copy of the shipped database, shown once (which
    // loads the database and selects the first chip).
    std::unique_ptr<MainWindow> makeForm() {
        auto form = std::make_unique<MainWindow>(exePath());
        SetCurrentLanguage(English);
        form->UsbLink.setReplyWait(0us);
        form->FormShow();
        return form;
    }
    void configure(const std::string& ini) {
        QVERIFY2(emu->configure(ini), emu->lastError().c_str());
    }
    static std::string Names(const ChipRecord& r) { return NameTextUtf8(r); }

private slots:
    void initTestCase() {
        Q_INIT_RESOURCE(resources);
        // No set-up named and none beside the library: the built-in default.
        unsetenv("VANTOR_EMULATOR_CONFIG");
        emu = std::make_unique<EmulatorClient>();
        InstallPrompts(&prompts);
    }
    void cleanupTestCase() {
        InstallPrompts(nullptr);
        emu->useDefault();
    }
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::copy(VANTOR_SHIPPED_DB, dir->filePath("vantor.Dat")));
        InstallPrompts(&prompts);
        prompts.clear();
        emu->resetLog();
    }

    void spiFlashIsFoundByItsIdAndRemembered() {
        configure("[chip]\nfamily = 0\njedec = EF4016\nsize = 4M\n");
        auto form = makeForm();
        QVERIFY(form->Chips.RecordCount() > 100);
        const int slot = FindChipById(form->Chips, 0xEF4016);
        QVERIFY(slot > 0);
        const auto names = SplitNameText(Names(form->Chips[slot]));

        form->BitBtn1->click();
        QCOMPARE(prompts.texts("information"),
                 Strings{"The chip was detected:" + names[2] + "\n\n Chip type" + names[0]});
        QCOMPARE(form->CurrentChipIndex(), slot);
        QCOMPARE(form->ComboBox3->currentText().toStdString(), names[2]);
        QCOMPARE(form->ComboBox2->currentText().toStdString(), names[1]);
        QCOMPARE(form->Selection.SelTypeIndex, 0);
        QCOMPARE(form->Selection.SelMakerIndex, form->Selection.makerBox().find(names[1]));
        QCOMPARE(form->Selection.SelNameIndex, form->Selection.nameBox().find(names[2]));
        // The demo's chip is the current Winbond part; one log line names the
        // other parts answering its ID.
        QCOMPARE(names[2], std::string("W25Q32JV"));
        const QStringList log = form->logLines();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log.front().contains(
                     "Other chips with this ID (choose one with Find): W25Q32BV, W25Q32CV"),
                 qPrintable(log.front()));
        // One ID request, closed again; the window is usable afterwards.
        QCOMPARE(emu->opcodes(), (std::vector<int>{9, 8}));
        QVERIFY(!form->UsbLink.isOpen());
        QVERIFY(form->BitBtn1->isEnabled());
    }

    void chipsWithoutIdChooseTheirTypeByPosition() {
        auto form = makeForm();
        configure("[chip]\nfamily = 1\nsize = 256\npage = 8\n");
        form->BitBtn1Click();
        QCOMPARE(prompts.texts("information"),
                 Strings{"Chip type is detected:24_EEPROM\n\n Please manually select the "
                         "corresponding type burn."});
        QCOMPARE(form->ComboBox1->currentIndex(), 1);
        QCOMPARE(int(form->CurrentChip().Family), 1);

        configure("[chip]\nfamily = 2\nsize = 128\npage = 2\n");
        prompts.clear();
        form->BitBtn1Click();
        QCOMPARE(prompts.texts("information"), Strings{DetectedTypeText("93_EEPROM", English)});
        QCOMPARE(form->ComboBox1->currentIndex(), 2);
        QCOMPARE(int(form->CurrentChip().Family), 2);
        // Neither is remembered.
        QCOMPARE(form->Selection.SelTypeIndex, 0);
    }

    void emptySocketAndSpiEepromAndNoProgrammer() {
        auto form = makeForm();
        form->SelectChip(3, 0, 0); // a 25-series EEPROM chosen by hand
        const int chosen = form->CurrentChipIndex();

        configure("[programmer]\nchip = none\n");
        form->BitBtn1Click();
        QCOMPARE(prompts.texts("error"), Strings{Message(3, English)});
        QCOMPARE(form->CurrentChipIndex(), chosen);

        // A 25-series EEPROM answers kind 1 with FF FF FF, which no record
        // holds: back to the first type, and the bytes are named.
        configure("[chip]\nfamily = 3\nsize = 32K\npage = 64\n");
        prompts.clear();
        form->BitBtn1Click();
        QCOMPARE(
            prompts.texts("error"),
            Strings{"Unknown chip ID =FF FF FFPlease choose the compatibility type manually."});
        QCOMPARE(form->ComboBox1->currentIndex(), 0);
        QCOMPARE(form->CurrentChipIndex(), 0);

        configure("[programmer]\nplugged = 0\n");
        prompts.clear();
        form->SelectChip(1, 0, 0);
        form->BitBtn1Click();
        QCOMPARE(prompts.texts("error"), Strings{"Not connected"});
        QCOMPARE(form->ComboBox1->currentIndex(), 1);
    }

    void aBrokenExchangeIsNotReportedAsNoProgrammer() {
        configure("[chip]\nfamily = 0\njedec = EF4016\nsize = 4M\n[faults]\ntimeout_at = 1\n");
        auto form = makeForm();
        const int before = form->CurrentChipIndex();
        form->BitBtn1Click();
        const auto errors = prompts.texts("error");
        QVERIFY(form->ChipHost().Engine.failed());
        QCOMPARE(errors, Strings{TransferFailureText(*form->ChipHost().Engine.failure())});
        QVERIFY(errors[0] != "Not connected");
        QVERIFY(prompts.texts("information").empty());
        QCOMPARE(form->CurrentChipIndex(), before);
        QVERIFY(form->BitBtn1->isEnabled());
    }

    void deviceCommandOpensTheEditorOverTheDatabase() {
        auto windows = CreateWindows(exePath());
        InstallPrompts(&prompts); // the windows installed their own boxes
        auto* editor = qobject_cast<ChipEditorDialog*>(windows->Form2);
        QVERIFY(editor);
        QCOMPARE(editor->databasePath(), dir->filePath("vantor.Dat").toStdString());

        windows->Form1->EnlishClick();
        QCOMPARE(editor->windowTitle(), QStringLiteral("Chip Editor"));
        windows->Form1->fantiClick();
        QCOMPARE(editor->windowTitle(), QString::fromUtf8("芯片編輯"));
        QCOMPARE(editor->BtnSave->text(), QStringLiteral("保存"));

        int rows = 0;
        QTimer::singleShot(0, editor, [&] {
            rows = editor->RowCount() - 1;
            editor->BtnExitClick();
        });
        windows->Form1->ToolDeviceClick();
        // The editor loaded the file into the window's database on showing.
        QVERIFY(rows > 100);
        QCOMPARE(rows, windows->Form1->Chips.RecordCount());
    }
};

QTEST_MAIN(DetectionWindowTest)
#include "DetectionWindowTest.moc"
