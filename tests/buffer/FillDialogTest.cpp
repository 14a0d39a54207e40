#include "buffer/FillDialog.h"
#include "core/Prompts.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <cstring>

using namespace vantor;

namespace {
DataBuffer& SharedBuffer() {
    static DataBuffer buffer;
    return buffer;
}
} // namespace

class FillDialogTest : public QObject {
    Q_OBJECT

    struct Shown {
        const uint8_t* data = nullptr;
        size_t count = 0;
        int calls = 0;
    };

    std::unique_ptr<FillDialog> MakeDialog(Shown& shown) {
        auto form = std::make_unique<FillDialog>(SharedBuffer());
        form->setHexViewLoader([&shown](const uint8_t* data, size_t count) {
            shown.data = data;
            shown.count = count;
            ++shown.calls;
        });
        form->setSeedSource([] { return 1700000000u; });
        return form;
    }

private slots:
    void init() {
        std::memset(SharedBuffer().data(), 0x55, 0x100000);
        SharedBuffer().UsedLength = 0;
    }

    void initialFieldsAndEndResetAtEveryOpening() {
        Shown shown;
        auto form = MakeDialog(shown);
        QVERIFY(form->RadioButton1->isChecked());
        QCOMPARE(form->Edit1->text(), QString("FF"));
        QCOMPARE(form->Edit2->text(), QString("FFFF"));
        QCOMPARE(form->Edit3->text(), QString("00000"));
        QCOMPARE(form->Edit4->text(), QString("FFFF"));
        QCOMPARE(form->Edit1->maxLength(), 2);
        QCOMPARE(form->Edit2->maxLength(), 4);
        form->Edit3->setText("10");
        form->RadioButton2->setChecked(true);
        form->PrepareToShow(0x40000);
        QCOMPARE(form->Edit4->text(), QString("3FFFF"));
        // Only the end address is reset.
        QCOMPARE(form->Edit3->text(), QString("10"));
        QVERIFY(form->RadioButton2->isChecked());
        form->PrepareToShow(0x4000000);
        QCOMPARE(form->Edit4->text(), QString("3FFFFFF"));
    }

    void typedKeysHexOnlyUpperCase() {
        Shown shown;
        auto form = MakeDialog(shown);
        form->Edit3->clear();
        QTest::keyClicks(form->Edit3, "a1g z-.fB");
        QCOMPARE(form->Edit3->text(), QString("A1FB"));
        form->Edit1->clear();
        QTest::keyClicks(form->Edit1, "abc");
        QCOMPARE(form->Edit1->text(), QString("AB"));
        QTest::keyClick(form->Edit1, Qt::Key_Backspace);
        QCOMPARE(form->Edit1->text(), QString("A"));
    }

    void okWithInitialValuesFillsTheChip() {
        Shown shown;
        auto form = MakeDialog(shown);
        form->PrepareToShow(0x40000);
        form->show();
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(SharedBuffer().UsedLength, 0x40000);
        QCOMPARE(shown.count, size_t(0x40000));
        QCOMPARE(shown.data, SharedBuffer().data());
        QCOMPARE(SharedBuffer()[0x3FFFF], uint8_t(0xFF));
        QCOMPARE(SharedBuffer()[0x40000], uint8_t(0x55));
    }

    void eachKindFromTheDialog() {
        Shown shown;
        auto form = MakeDialog(shown);
        form->Edit3->setText("1");
        form->Edit4->setText("4");
        form->Edit2->setText("1234");
        form->RadioButton2->setChecked(true);
        form->BitBtn1Click();
        QCOMPARE(SharedBuffer()[0], uint8_t(0x34));
        QCOMPARE(SharedBuffer()[3], uint8_t(0x12));
        QCOMPARE(SharedBuffer()[4], uint8_t(0x55));
        QCOMPARE(SharedBuffer().UsedLength, 5);

        form->RadioButton3->setChecked(true);
        form->Edit3->setText("0");
        form->Edit4->setText("F");
        form->BitBtn1Click();
        uint8_t first[16];
        std::memcpy(first, SharedBuffer().data(), 16);
        form->BitBtn1Click(); // same second, same bytes
        QCOMPARE(std::memcmp(first, SharedBuffer().data(), 16), 0);
        FillRandom expected(1700000000u);
        QCOMPARE(SharedBuffer()[0], uint8_t(expected.Next()));
    }

    void refusedFieldKeepsTheDialogOpen() {
        RecordingPrompts prompts;
        ScopedPrompts scope(prompts);
        Shown shown;
        auto form = MakeDialog(shown);
        form->show();
        form->Edit2->clear(); // a byte fill still converts the word field
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
        QVERIFY(form->isVisible());
        QCOMPARE(prompts.texts("error"),
                 std::vector<std::string>{"'0x' is not a valid integer value"});
        QCOMPARE(shown.calls, 0);
        QCOMPARE(SharedBuffer()[0], uint8_t(0x55));

        form->Edit2->setText("FFFF");
        form->Edit4->setText("4000000");
        prompts.clear();
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
        QVERIFY(form->isVisible());
        QCOMPARE(prompts.texts("error").size(), size_t(1));
        QCOMPARE(SharedBuffer().UsedLength, 0);

        QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QCOMPARE(shown.calls, 0);
    }

    void captionsInEveryLanguage() {
        Shown shown;
        auto form = MakeDialog(shown);
        QCOMPARE(form->windowTitle(), QString::fromUtf8("填充"));
        QCOMPARE(form->RadioButton1->text(), QString::fromUtf8("常量字节(8bits)"));
        form->ApplyCaptions(1);
        QCOMPARE(form->GroupBox2->title(), QString::fromUtf8("範圍"));
        QCOMPARE(form->Label2->text(), QString::fromUtf8("結束地址"));
        form->ApplyCaptions(2);
        QCOMPARE(form->windowTitle(), QString("Fill"));
        QCOMPARE(form->GroupBox1->title(), QString("Data"));
        QCOMPARE(form->Label1->text(), QString("Start ADDR"));
        QCOMPARE(form->BitBtn2->text(), QString("Cance"));
        form->ApplyCaptions(3); // out of range: nothing changes
        QCOMPARE(form->BitBtn1->text(), QString("OK"));
        // The main window reaches it by name, without this header.
        QVERIFY(QMetaObject::invokeMethod(form.get(), "ApplyCaptions", Q_ARG(int, 0)));
        QCOMPARE(form->BitBtn1->text(), QString::fromUtf8("确定"));
    }

    // With VANTOR_SNAPSHOT_DIR set, leaves a picture of the dialog per language.
    void snapshots() {
        const QByteArray dir = qgetenv("VANTOR_SNAPSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("VANTOR_SNAPSHOT_DIR not set");
        Shown shown;
        auto form = MakeDialog(shown);
        form->PrepareToShow(0x40000);
        for (int lang = 0; lang < 3; ++lang) {
            form->ApplyCaptions(lang);
            form->show();
            QCoreApplication::processEvents();
            QVERIFY(form->grab().save(QDir(dir).filePath(QString("FillDialog-%1.png").arg(lang))));
        }
    }
};

QTEST_MAIN(FillDialogTest)
#include "FillDialogTest.moc"
