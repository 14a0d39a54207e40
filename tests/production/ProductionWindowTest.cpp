// The main window on a production line, against the emulator: Auto with the
// serial box ticked writes the chip's own number, logs the row and counts
// the chip; a serial number without a log is refused before the chip.
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "app/ProductionLine.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "emulator/EmulatorClient.h"

#include <QCheckBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cstdlib>
#include <numeric>

using namespace vantor;
using namespace std::chrono_literals;

class ProductionWindowTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<EmulatorClient> emu;
    RecordingPrompts prompts;
    std::unique_ptr<ScopedPrompts> scoped;

    // A window on a 64 KiB flash holding 4 KiB of counting bytes, with
    // serial numbers from 7 in four decimal digits at 10h.
    std::unique_ptr<MainWindow> makeForm(const QTemporaryDir& dir) {
        auto form = std::make_unique<MainWindow>(dir.filePath("vantor").toStdString());
        SetCurrentLanguage(English);
        ChipRecord chip;
        SetNameText(chip, "SPI_FLASH,TEST,LINE64K");
        chip.FlashSize = 65536;
        chip.FlashPage = 256;
        chip.Delay = 100;
        chip.ChipId = 0xEF4013;
        form->Chips[0] = chip;
        form->Selection.SetCurrentChipIndex(0);
        form->UsbLink.setReplyWait(0us);
        form->ChipHost().Engine.Timings = EngineTimings{0us, 0us, 0us};
        std::iota(form->Buffer.data(), form->Buffer.data() + 4096, std::uint8_t(0));
        form->Buffer.UsedLength = 4096;
        form->RefreshHexView();
        form->Production->setSerialSeries(SerialSeries{*SerialField::parse("0x10:4:dec"), 7, 1});
        form->Production->SerialCheck->setChecked(true);
        form->Production->retranslate(); // made in the settings' language: Chinese
        return form;
    }

private slots:
    void initTestCase() {
        setenv("VANTOR_EMULATOR_CONFIG", "/nonexistent/vantor-emulator.ini", 1);
        emu = std::make_unique<EmulatorClient>();
        scoped = std::make_unique<ScopedPrompts>(prompts);
        QVERIFY(emu->configure("[chip]\nsize = 64K\njedec = EF4013\n"));
    }
    void cleanupTestCase() {
        scoped.reset();
        emu->useDefault();
    }

    void autoWritesTheNextSerialLogsAndCounts() {
        QTemporaryDir dir;
        auto form = makeForm(dir);
        form->Production->setLogTarget(dir.filePath("line.db").toStdString());
        QCOMPARE(form->Production->SerialNext->text(), QString("Next: 7"));

        form->ToolAutoClick();
        QCOMPARE(prompts.texts("error"), std::vector<std::string>{});
        const auto chip = emu->image();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(chip.data()) + 0x10, 4),
                 QByteArray("0007"));
        QCOMPARE(chip[0x14], std::uint8_t(0x14)); // the rest is the buffer's
        QCOMPARE(form->Production->Counter->text(), QString("Passed 1 / failed 0"));
        QCOMPARE(form->Production->SerialNext->text(), QString("Next: 8"));

        std::string why;
        const auto rows = form->Production->store(why)->rows("");
        QVERIFY(rows && rows->size() == 1);
        QCOMPARE(rows->front().result, std::string("completed"));
        QCOMPARE(rows->front().serial, std::optional<std::uint64_t>(7));
        QCOMPARE(rows->front().chip, std::string("SPI_FLASH,TEST,LINE64K"));
        QVERIFY(!rows->front().device.empty());

        // The settings keep the store and the series for the next start.
        auto again = std::make_unique<MainWindow>(dir.filePath("vantor").toStdString());
        QCOMPARE(again->Production->logTarget(), form->Production->logTarget());
        QVERIFY(again->Production->serialOn());
    }

    void aSerialWithoutALogIsRefusedBeforeTheChip() {
        QTemporaryDir dir;
        auto form = makeForm(dir);
        QVERIFY(emu->setImage(std::vector<std::uint8_t>(65536, 0xA5)));
        prompts.clear();
        form->ToolAutoClick();
        QCOMPARE(prompts.texts("error"), std::vector<std::string>{Message(Own::SerialNeedsLog)});
        QCOMPARE(emu->image(), std::vector<std::uint8_t>(65536, 0xA5));
        QCOMPARE(form->Production->Counter->text(), QString("No log"));
    }
};

QTEST_MAIN(ProductionWindowTest)
#include "ProductionWindowTest.moc"
