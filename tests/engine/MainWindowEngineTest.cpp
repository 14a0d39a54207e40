// The chip commands and the connection monitor inside the main window,
// against the emulator loaded the way the application loads libusb (this
// executable's RUNPATH names the emulator's folder).
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "app/OperatorDialogs.h"
#include "app/OperatorMenu.h"
#include "app/StatusBar.h"
#include "buffer/Checksum.h"
#include "buffer/DataBuffer.h"
#include "buffer/FillDialog.h"
#include "controls/HexEditorControl.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "emulator/EmulatorClient.h"
#include "link/ConnectionProbe.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

using namespace vantor;
using namespace std::chrono_literals;

namespace {

ChipRecord FlashRecord(std::uint32_t size, std::uint16_t delay = 100) {
    ChipRecord r;
    SetNameText(r, "SPI_FLASH,TEST,T25F");
    r.Family = 0;
    r.FlashSize = size;
    r.FlashPage = 256;
    r.Delay = delay;
    r.ChipId = 0xEF4013;
    return r;
}

std::vector<std::uint8_t> Random(std::size_t n) {
    std::mt19937 random(17);
    std::vector<std::uint8_t> b(n);
    for (auto& v : b)
        v = std::uint8_t(random());
    return b;
}

// Runs `step` from inside the engine's first event pump of the next command.
void DuringNextCommand(std::function<void()> step) {
    QTimer::singleShot(0, std::move(step));
}

} // namespace

class MainWindowEngineTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<EmulatorClient> emu;
    std::unique_ptr<QTemporaryDir> dir;
    RecordingPrompts prompts;
    std::unique_ptr<ScopedPrompts> scoped;

    std::unique_ptr<MainWindow> makeForm(const ChipRecord& chip, bool fast = true) {
        auto form = std::make_unique<MainWindow>(dir->filePath("vantor").toStdString());
        SetCurrentLanguage(English); // no settings file: the window chose Chinese
        form->Chips[0] = chip;
        form->Selection.SetCurrentChipIndex(0);
        if (fast) {
            form->UsbLink.setReplyWait(0us);
            form->ChipHost().Engine.Timings = EngineTimings{0us, 0us, 0us};
        }
        return form;
    }
    void configure(const std::string& ini) {
        QVERIFY2(emu->configure(ini), emu->lastError().c_str());
    }

private slots:
    void initTestCase() {
        Q_INIT_RESOURCE(resources);
        // No set-up named and none beside the library: the built-in default.
        unsetenv("VANTOR_EMULATOR_CONFIG");
        emu = std::make_unique<EmulatorClient>();
        scoped = std::make_unique<ScopedPrompts>(prompts);
    }
    void init() {
        SetCurrentLanguage(English);
        dir = std::make_unique<QTemporaryDir>();
        prompts.clear();
        prompts.yesNoAnswers.clear();
    }
    void cleanupTestCase() {
        scoped.reset();
        emu->useDefault();
    }

    void activationProbesAndLogs() {
        configure("[chip]\nsize = 64K\n");
        auto form = makeForm(FlashRecord(65536));
        // Becoming the active window probes.
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        const QString detected = QString::fromStdString(Message(11));
        QCOMPARE(form->logLines(), QStringList{"001:" + detected});
        QCOMPARE(form->StatusBar1->panelText(1), QString("Ready"));
        QVERIFY(!StatusPanelDrawnRed(form->StatusBar1->panelText(1).toStdString()));
        QVERIFY(!form->UsbLink.isOpen());

        // Unplugged: a device-change notice turns the panel red, logs nothing.
        emu->unplug();
        form->ProbeProgrammer();
        QCOMPARE(form->StatusBar1->panelText(1), QString("Not connected"));
        QVERIFY(StatusPanelDrawnRed(form->StatusBar1->panelText(1).toStdString()));
        QCOMPARE(form->logLines().size(), 1);

        // Plugged back: "Ready" and a new line on top.
        emu->plug();
        form->ProbeProgrammer();
        QCOMPARE(form->StatusBar1->panelText(1), QString("Ready"));
        QCOMPARE(form->logLines(), (QStringList{"002:" + detected, "001:" + detected}));
        QVERIFY(prompts.log.empty());
    }

    void readFromTheMenuShowsEverything() {
        configure("[chip]\nsize = 64K\njedec = EF4013\n");
        const auto image = Random(65536);
        QVERIFY(emu->setImage(image));
        auto form = makeForm(FlashRecord(65536));
        bool checked = false;
        DuringNextCommand([&] {
            QVERIFY(!form->ToolBar1->isEnabled());
            QVERIFY(!form->Panel1->isEnabled());
            QVERIFY(!form->R1->isEnabled());
            QVERIFY(!form->O2->isEnabled());
            QVERIFY(!form->Progress->isHidden());
            QCOMPARE(form->StatusBar1->panelText(1), QString("Read Flash ..."));
            checked = true;
        });
        form->R1->trigger();
        QVERIFY(checked);
        QVERIFY(std::equal(image.begin(), image.end(), form->Buffer.data()));
        QCOMPARE(form->Buffer.UsedLength, 65536);
        QCOMPARE(form->logLines().first(), QString("001:Read Complete!"));
        QCOMPARE(form->StatusBar1->panelText(1), QString("Ready"));
        QCOMPARE(form->StatusBar1->panelText(3), QString("00:00:00"));
        QVERIFY(form->StartTime > 0);
        QVERIFY(form->Progress->isHidden());
        QVERIFY(form->ToolBar1->isEnabled());
        QVERIFY(form->Panel1->isEnabled());
        QVERIFY(form->R1->isEnabled());
        QVERIFY(form->O2->isEnabled());
        QVERIFY(prompts.log.empty());
    }

    void buttonsAndMenuReachTheCommands() {
        configure("[chip]\nsize = 64K\njedec = EF4013\n");
        auto form = makeForm(FlashRecord(65536));
        // Nothing loaded yet: Write, Verify and Auto stop at the empty buffer.
        for (QAction* a : {form->W1, form->ToolWrite, form->V1, form->A1}) {
            prompts.clear();
            a->trigger();
            QCOMPARE(
                prompts.texts("error"),
                std::vector<std::string>{"The buffer data is empty. Please load the data file.."});
        }
        prompts.clear();
        emit form->BitBtn3->clicked();
        QCOMPARE(prompts.texts("error").size(), size_t(1));
        QCOMPARE(emu->transfers(), 0L);

        // Blank chip: the blank check passes, the read says the chip is empty.
        prompts.clear();
        form->ToolBank->trigger();
        form->N7->trigger();
        QCOMPARE(form->logLines().mid(0, 2),
                 (QStringList{"007:Bank Complete!", "006:Bank Complete!"})); // after 5 boxes
        form->ToolRead->trigger();
        QCOMPARE(prompts.texts("error"), std::vector<std::string>{"The chip is empty!"});

        // Auto with its boxes: only the verify box ticked verifies a blank
        // chip against a blank buffer.
        form->Buffer.UsedLength = 4096;
        form->CheckBox1->setChecked(false);
        form->CheckBox2->setChecked(false);
        form->ToolAuto->trigger();
        QCOMPARE(form->logLines().first(), QString("010:AUTO Complete!"));
        const auto ops = emu->opcodes();
        QCOMPARE(std::count(ops.begin(), ops.end(), int(CMD_ERASE)), 0L);
    }

    void paneEditsAreVerified() {
        configure("[chip]\nsize = 64K\njedec = EF4013\n");
        std::vector<std::uint8_t> image(65536, 0xFF);
        image[0] = 0x12;
        QVERIFY(emu->setImage(image));
        auto form = makeForm(FlashRecord(65536));
        form->RefreshHexView();
        // One byte typed into the pane: Verify takes the pane first.
        QTest::keyClicks(form->FlashEditor, "12");
        form->V1->trigger();
        QVERIFY(prompts.texts("error").empty());
        QCOMPARE(form->Buffer[0], std::uint8_t(0x12));
        QCOMPARE(form->Buffer.UsedLength, 65536);
        QCOMPARE(form->logLines().first(), QString("001:Verify Complete!"));
    }

    void nothingElseRunsUnderACommand() {
        // A slow chip: the erase keeps it busy for a quarter of a second,
        // polled at the real pace.
        configure("[chip]\nsize = 64K\njedec = EF4013\nerase_busy_polls = 0\n"
                  "erase_busy_ms = 250\n");
        auto form = makeForm(FlashRecord(65536), false);
        form->show();
        form->FormActivate();
        QCoreApplication::processEvents(); // whatever activation the platform sends
        const int before = int(form->logLines().size());
        QVERIFY(before >= 1);
        int pumpsSeen = 0;
        DuringNextCommand([&] {
            ++pumpsSeen;
            QVERIFY(form->ChipCommandBusy());
            QVERIFY(form->UsbLink.isOpen());
            const long transfersBefore = emu->transfers();
            // A second command, from the menu or called directly: refused.
            form->W1->trigger();
            form->ToolReadClick();
            form->ToolAutoClick();
            // A device change or an activation: the transport is left alone.
            form->ProbeProgrammer();
            form->FormActivate();
            QCOMPARE(int(form->logLines().size()), before);
            // Closing: refused, the window stays.
            QVERIFY(!form->close());
            QVERIFY(form->isVisible());
            QVERIFY(form->Settings != nullptr);
            // ... and says why, where the eye is; About waits too.
            QVERIFY(form->Progress->isTextVisible());
            QCOMPARE(form->Progress->format(),
                     QString::fromStdString(Message(Own::CloseRefusedBusy)));
            QVERIFY(!form->N5->isEnabled());
            QCOMPARE(emu->transfers(), transfersBefore);
            QVERIFY(form->UsbLink.isOpen());
        });
        const auto start = std::chrono::steady_clock::now();
        form->FlashEditor->setFocus();
        form->E1->trigger();
        QCOMPARE(pumpsSeen, 1);
        QCOMPARE(form->focusWidget(), form->FlashEditor); // the focus came back
        QVERIFY(form->N5->isEnabled());
        QVERIFY(std::chrono::steady_clock::now() - start >= 200ms);
        QVERIFY(prompts.texts("error").empty());
        // The erase finished; the probe that waited ran once afterwards.
        const QStringList lines = form->logLines();
        QCOMPARE(int(lines.size()), before + 2);
        QVERIFY(lines[1].endsWith(":Erase Complete!"));
        QVERIFY(lines[0].endsWith(QString::fromStdString(Message(11))));
        QVERIFY(!form->ChipCommandBusy());
        QVERIFY(!form->UsbLink.isOpen());
        QCOMPARE(emu->openHandles(), 0);
        // Now the window closes.
        QVERIFY(form->close());
    }

    void transferFailureUnlocksTheWindow() {
        configure("[chip]\nsize = 64K\njedec = EF4013\n[faults]\nunplug_at = 40\n");
        QVERIFY(emu->setImage(Random(65536)));
        auto form = makeForm(FlashRecord(65536));
        form->R1->trigger();
        QCOMPARE(prompts.texts("error").size(), size_t(1));
        QVERIFY(QString::fromStdString(prompts.texts("error")[0]).startsWith("Read: USB transfer"));
        // The box's text is in the log too, and the half-read image is gone.
        const QStringList log = form->logLines();
        QCOMPARE(log.size(), 2);
        QVERIFY(log[1].startsWith("001:Read: USB transfer"));
        QCOMPARE(log[0], "002:" + QString::fromStdString(Message(Own::BufferKeptAfterRead)));
        QCOMPARE(form->Buffer.UsedLength, 0);
        QCOMPARE(form->Buffer[0], std::uint8_t(0xFF));
        QVERIFY(form->Progress->isHidden());
        QVERIFY(form->ToolBar1->isEnabled());
        QVERIFY(form->Panel1->isEnabled());
        QVERIFY(form->R1->isEnabled());
        QCOMPARE(form->StatusBar1->panelText(1), QString("Ready"));
        QVERIFY(!form->ChipCommandBusy());
        emu->plug();
        prompts.clear();
        form->R1->trigger();
        QCOMPARE(prompts.texts("error"), std::vector<std::string>{});
        QCOMPARE(form->logLines().first(), QString("003:Read Complete!"));
    }

    // What Save writes, Write programs and the status bar says agree, and a
    // read that does not finish leaves nothing half done.
    void imageStaysWholeAndHonest() {
        configure("[chip]\nsize = 64K\njedec = EF4013\n");
        QVERIFY(emu->setImage(std::vector<std::uint8_t>(65536, 0xFF)));
        auto form = makeForm(FlashRecord(65536));
        auto* fill = new FillDialog(form->Buffer, form.get());
        form->setDialogs(nullptr, nullptr, fill, nullptr);
        form->RefreshHexView();
        auto image = Random(65536);
        const QString bin = dir->filePath("image.bin");
        QFile file(bin);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), qint64(image.size()));
        file.close();
        QVERIFY(form->OpenPath(bin, false));

        // A fill inside the opened image, then Write: all of it is programmed.
        QTimer::singleShot(0, fill, [fill] {
            fill->Edit1->setText("00");
            fill->Edit3->setText("1000");
            fill->Edit4->setText("1FFF");
            fill->BitBtn1Click();
        });
        form->ToolFillClick();
        std::fill(image.begin() + 0x1000, image.begin() + 0x2000, 0x00);
        QCOMPARE(form->Buffer.UsedLength, 65536);
        QCOMPARE(form->FlashEditor->GetDataSize(), std::size_t(65536));
        form->W1->trigger();
        QCOMPARE(emu->image(), image);

        // A byte deleted in the pane: the checksum is the saved file's.
        auto* tools = form->findChild<OperatorMenu*>("OperatorMenu");
        form->FlashEditor->setInsertMode(true);
        QTest::keyClick(form->FlashEditor, Qt::Key_Delete);
        QCOMPARE(form->InsertModeLabel->text(), QString("INS"));
        tools->updateChecksums();
        prompts.fileAnswers = {dir->filePath("saved.bin").toStdString()};
        form->S1->trigger();
        QFile saved(dir->filePath("saved.bin"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        QCOMPARE(bytes.size(), qsizetype(65536));
        QCOMPARE(tools->ChecksumLabel->text(),
                 QString::fromStdString(ChecksumText(ComputeChecksums(
                     reinterpret_cast<const std::uint8_t*>(bytes.constData()), 65536))));
        QCOMPARE(std::uint8_t(bytes.back()), std::uint8_t(0xFF));

        // Stopped half-way, a read leaves the image as it was, and says so.
        const std::vector<std::uint8_t> before(form->Buffer.data(), form->Buffer.data() + 65536);
        QVERIFY(emu->setImage(Random(65536)));
        int pumps = 0;
        std::function<void()> stopLater = [&] {
            if (++pumps == 3)
                form->ChipHost().requestStop();
            else
                QTimer::singleShot(0, stopLater);
        };
        DuringNextCommand(stopLater);
        form->R1->trigger();
        QVERIFY(std::equal(before.begin(), before.end(), form->Buffer.data()));
        QCOMPARE(form->logLines().first().mid(4),
                 QString::fromStdString(Message(Own::BufferKeptAfterRead)));
        QVERIFY(form->Progress->isHidden());

        // A verify that finds differences marks them; F4 and Shift+F4 step.
        std::vector<std::uint8_t> chip = before;
        for (std::size_t at : {0x10u, 0x4000u, 0xFFF0u})
            chip[at] ^= 0x5A;
        QVERIFY(emu->setImage(chip));
        prompts.clear();
        form->V1->trigger();
        QCOMPARE(prompts.texts("error").size(), size_t(1));
        QVERIFY(form->logLines().contains(prompts.texts("error")[0].c_str(), Qt::CaseSensitive) ||
                form->logLines().filter(QString::fromStdString(prompts.texts("error")[0])).size() ==
                    1);
        QCOMPARE(form->FlashEditor->differences().count(), std::size_t(3));
        QCOMPARE(form->DifferenceLabel->text(), QString("Diff: 3"));
        QCOMPARE(form->FlashEditor->core().caret().pos, std::size_t(0x10));
        form->NextDifferenceItem->trigger();
        QCOMPARE(form->FlashEditor->core().caret().pos, std::size_t(0x4000));
        form->PreviousDifferenceItem->trigger();
        form->PreviousDifferenceItem->trigger();
        QCOMPARE(form->FlashEditor->core().caret().pos, std::size_t(0xFFF0)); // round the end

        // Compare with a file needs no chip: two bytes differ.
        std::vector<std::uint8_t> other = before;
        other[0x20] ^= 1;
        other[0x30] ^= 1;
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(other.data()), qint64(other.size()));
        file.close();
        emu->unplug();
        QVERIFY(form->CompareWithFile(bin));
        emu->plug();
        QCOMPARE(form->FlashEditor->differences().count(), std::size_t(2));
        QCOMPARE(form->FlashEditor->core().caret().pos, std::size_t(0x20));
        QVERIFY(form->logLines().first().contains("2 bytes differ, the first at 20h"));

        // Read twice says both reads matched.
        form->findChild<OperatorMenu*>("OperatorMenu")->ReadTwiceItem->trigger();
        QCOMPARE(form->logLines().first().mid(4), QString::fromStdString(Message(Own::ReadsMatch)));
    }

    // From start, with keys alone: every control is reached, and Detect,
    // Read, Compare and Save run. Not one mouse event is sent.
    void keyboardOnlyFromStart() {
        configure("[chip]\nsize = 64K\njedec = EF4013\n");
        const auto image = Random(65536);
        QVERIFY(emu->setImage(image));
        auto form = makeForm(FlashRecord(65536));
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        struct MouseSpy : QObject {
            int seen = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                const auto t = e->type();
                seen += t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease ||
                        t == QEvent::MouseButtonDblClick;
                return false;
            }
        } mouse;
        qApp->installEventFilter(&mouse);
        const auto key = [](int k, Qt::KeyboardModifiers mods = {}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), mods);
        };

        // Tab round the window; Ctrl+Tab leaves the hex pane, where Tab
        // switches its columns.
        form->FlashEditor->setFocus(Qt::OtherFocusReason);
        QSet<QWidget*> reached;
        for (int i = 0; i < 40; ++i) {
            QWidget* now = QApplication::focusWidget();
            reached.insert(now);
            if (now == form->FlashEditor) {
                key(Qt::Key_Tab);
                QCOMPARE(QApplication::focusWidget(), form->FlashEditor);
                key(Qt::Key_Tab, Qt::ControlModifier);
                QVERIFY(QApplication::focusWidget() != form->FlashEditor);
            } else {
                key(Qt::Key_Tab);
            }
        }
        const QList<QWidget*> controls{
            form->ComboBox1, form->ComboBox2, form->ComboBox3,  form->BitBtn1,   form->BitBtn2,
            form->ComboBox5, form->Edit2,     form->ComboBox4,  form->CheckBox1, form->CheckBox2,
            form->CheckBox3, form->BitBtn3,   form->FlashEditor};
        for (QWidget* w : controls)
            QVERIFY2(reached.contains(w) || reached.contains(w->focusProxy()),
                     qPrintable(w->objectName()));
        // Back into the pane the other way, and out again.
        form->ComboBox1->setFocus(Qt::OtherFocusReason);
        for (int i = 0; i < 20 && QApplication::focusWidget() != form->FlashEditor; ++i)
            key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), form->FlashEditor);
        key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(QApplication::focusWidget() != form->FlashEditor);

        // Detect, Read, Compare, Save.
        key(Qt::Key_D, Qt::ControlModifier);
        QVERIFY(!prompts.log.empty()); // detection says what it found
        key(Qt::Key_F5);
        QVERIFY(form->logLines().first().endsWith(":Read Complete!"));
        QVERIFY(std::equal(image.begin(), image.end(), form->Buffer.data()));
        const QString bin = dir->filePath("chip.bin");
        prompts.fileAnswers = {bin.toStdString()};
        key(Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QFile::exists(bin));
        prompts.fileAnswers = {bin.toStdString()};
        key(Qt::Key_K, Qt::ControlModifier);
        QVERIFY(form->logLines().first().endsWith("chip.bin: no difference"));
        // The saved file is a recent file now? Opening it makes it one.
        QVERIFY(form->OpenPath(bin, false));
        QCOMPARE(form->RecentMenu->actions().size(), 1);
        QCOMPARE(mouse.seen, 0);
        qApp->removeEventFilter(&mouse);
    }

    void unusableRecordIsRefusedBeforeOpening() {
        configure("[chip]\nsize = 64K\n");
        ChipRecord chip = FlashRecord(65536);
        chip.FlashPage = 0;
        auto form = makeForm(chip);
        form->E1->trigger();
        QCOMPARE(prompts.texts("error").size(), size_t(1));
        QCOMPARE(emu->transfers(), 0L);
        QVERIFY(form->ToolBar1->isEnabled());
    }

    void anotherChipInTheSocketIsAsked() {
        // The socket holds a 512 KiB part (EF4013); the window has a 1 MiB
        // part with another ID selected, and knows the other one by name.
        configure("[chip]\nsize = 512K\njedec = EF4013\n");
        ChipRecord selected = FlashRecord(1u << 20);
        selected.ChipId = 0xEF4014;
        SetNameText(selected, "SPI_FLASH,TEST,T25F08");
        auto form = makeForm(selected);
        form->Chips[1] = FlashRecord(512u << 10);
        form->ToolRead->trigger();
        QCOMPARE(prompts.texts("question"),
                 std::vector<std::string>{
                     "The chip answers ID EF4013: T25F, 512 KiB. The selected chip is T25F08, "
                     "1 MiB, ID EF4014. Go on with the selected chip all the same?"});
        QVERIFY(!form->logLines().join("\n").contains("Complete!"));
        prompts.yesNoAnswers = {true};
        form->ToolRead->trigger();
        // The blank chip's box follows in the log; the read itself completed.
        QVERIFY2(form->logLines().join("\n").contains("Read Complete!"),
                 qPrintable(form->logLines().join(" | ")));
    }

    // Stop, Unprotect, Read twice, checksums, find and go to, in the window;
    // with VANTOR_SHOTS_DIR set, each language's window is saved there too.
    void benchToolsInTheWindow() {
        configure("[chip]\nsize = 64K\njedec = EF4013\nprotect = all\n");
        const auto image = Random(65536);
        QVERIFY(emu->setImage(image));
        for (int lang : {English, SimplifiedChinese, TraditionalChinese}) {
            auto form = makeForm(FlashRecord(65536));
            SetCurrentLanguage(lang);
            form->ApplyLanguage();
            form->show();
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
            auto* tools = form->findChild<OperatorMenu*>("OperatorMenu");
            QVERIFY(tools != nullptr);
            QCOMPARE(tools->StopItem->shortcut(), QKeySequence(Qt::Key_Escape));
            prompts.clear();
            // Stopped in the middle of a read: a log line, no box, unlocked.
            int pumps = 0;
            std::function<void()> stopLater = [&] {
                if (++pumps == 3) {
                    QTest::keyClick(form.get(), Qt::Key_Escape); // the Stop item's key
                } else {
                    QTimer::singleShot(0, stopLater);
                }
            };
            DuringNextCommand(stopLater);
            form->R1->trigger();
            QCOMPARE(form->logLines()
                         .filter(QString::fromStdString(Message(Own::StoppedAt)) + "300h")
                         .size(),
                     qsizetype(1));
            QVERIFY(form->logLines().filter("!").empty()); // nothing "Complete!"
            QVERIFY(prompts.texts("error").empty());
            QVERIFY(form->ToolBar1->isEnabled());
            QVERIFY(!form->ChipCommandBusy());

            tools->UnprotectItem->trigger();
            QCOMPARE(
                form->logLines()
                    .filter(QString::fromStdString(Message(Own::UnprotectSent)) + "06h, 01h 00h")
                    .size(),
                qsizetype(1));
            tools->ReadTwiceItem->trigger();
            QVERIFY(prompts.texts("error").empty());
            QVERIFY(std::equal(image.begin(), image.end(), form->Buffer.data()));
            const QString sums =
                QString::fromStdString(ChecksumText(ComputeChecksums(image.data(), image.size())));
            QTRY_COMPARE(tools->ChecksumLabel->text(), sums);

            hex::SearchRequest request;
            request.pattern.assign(image.begin() + 40000, image.begin() + 40008);
            QVERIFY(tools->find(request));
            QCOMPARE(form->FlashEditor->core().selection().begin, std::size_t(40000));
            QVERIFY(tools->goTo(0x1234));
            QCOMPARE(form->FlashEditor->core().caret().pos, std::size_t(0x1234));
            QVERIFY(!tools->goTo(65536));
            QCOMPARE(prompts.texts("error"),
                     std::vector<std::string>{Message(Own::GoToOutside) + "10000h"});

            if (const QByteArray shots = qgetenv("VANTOR_SHOTS_DIR"); !shots.isEmpty()) {
                tools->find(request);
                const QString prefix = QString(shots) + "/operator-" + QString::number(lang);
                form->grab().save(prefix + "-main.png");
                for (QMenu* menu : {form->O3, form->Buff}) {
                    menu->popup(form->mapToGlobal(QPoint(40, 20)));
                    QTest::qWait(100);
                    menu->grab().save(prefix + "-" + menu->objectName() + ".png");
                    menu->hide();
                }
                FindDialog find(form.get());
                find.Pattern->setText("DE AD BE EF");
                find.show();
                QTest::qWait(50);
                find.grab().save(prefix + "-find.png");
                GoToDialog go(form.get());
                go.Offset->setText("1234");
                go.show();
                QTest::qWait(50);
                go.grab().save(prefix + "-goto.png");
            }
        }
        SetCurrentLanguage(English);
    }
};

QTEST_MAIN(MainWindowEngineTest)
#include "MainWindowEngineTest.moc"
