// The hex pane as a widget: real key, mouse and wheel events, the clipboard,
// the operations the program calls, the binding to the data buffer, a
// differential run against the plain model, and rendered pictures.
#include "controls/HexEditorControl.h"
#include "buffer/DataBuffer.h"
#include "controls/HexBinding.h"
#include "tests/controls/HexModel.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QMimeData>
#include <QScrollBar>
#include <QShortcut>
#include <QTemporaryFile>
#include <QWheelEvent>
#include <QtTest>

#include <memory>
#include <random>

using vantor::DataBuffer;
using vantor::HexEditorControl;
using vantor::hex::Caret;
using vantor::hex::Range;
using vantor::hextest::HexModel;

namespace {

std::vector<uint8_t> counting(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i);
    return v;
}

std::vector<uint8_t> contentOf(const HexEditorControl& w) {
    std::vector<uint8_t> v(w.GetDataSize());
    w.ReadBuffer(v.data(), 0, v.size());
    return v;
}

std::vector<uint8_t> markFlags(const HexEditorControl& w) {
    std::vector<uint8_t> f(w.GetDataSize(), 0);
    for (const Range& r : w.core().marks().ranges())
        std::fill(f.begin() + static_cast<std::ptrdiff_t>(r.begin),
                  f.begin() + static_cast<std::ptrdiff_t>(r.end), 1);
    return f;
}

} // namespace

class HexEditorControlTest : public QObject {
    Q_OBJECT

    std::unique_ptr<HexEditorControl> w;

    void press(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(w.get(), k, m);
    }
    void type(const char* text) { QTest::keyClicks(w.get(), QString::fromLatin1(text)); }
    Caret caret() const { return w->core().caret(); }
    void load(std::size_t n) { w->LoadFromStream(std::span<const uint8_t>(counting(n))); }
    // Scrolls the byte into view and clicks its digit or character.
    void click(std::size_t pos, bool charColumn, int nibble = 0, Qt::KeyboardModifiers m = {}) {
        const std::size_t row = pos / 16;
        if (row < w->topRow() || row >= w->topRow() + w->pageRows())
            w->scrollToRow(row);
        QTest::mouseClick(w->viewport(), Qt::LeftButton, m,
                          w->cellRect(pos, charColumn, nibble).center());
    }

private slots:
    void init() {
        w = std::make_unique<HexEditorControl>();
        w->resize(720, 400);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void cleanup() { w.reset(); }

    // --- The five operations ------------------------------------------------
    void loadFromStreamCopiesEverythingAndStartsClean() {
        load(100);
        type("ab");
        w->LoadFromStream(QByteArray("\x01\x02\x03", 3));
        QCOMPARE(w->GetDataSize(), 3u);
        QCOMPARE(contentOf(*w), (std::vector<uint8_t>{1, 2, 3}));
        QVERIFY(!w->GetModified());
        QVERIFY(w->core().marks().empty());
        QVERIFY(!w->core().canUndo());
        QCOMPARE(caret(), (Caret{0, 0, false}));

        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        stream.write("hello world");
        QVERIFY(w->LoadFromStream(stream));
        QCOMPARE(w->GetDataSize(), 11u); // from position 0, wherever the stream stands

        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(QByteArray(5000, '\x5A'));
        file.seek(1234);
        QVERIFY(w->LoadFromStream(file));
        QCOMPARE(w->GetDataSize(), 5000u);
        QCOMPARE(contentOf(*w).back(), 0x5A);
    }

    void modifiedFlagMarksAndReadBuffer() {
        w->LoadFromStream(QByteArray());
        QVERIFY(!w->GetModified());
        load(64);
        QVERIFY(!w->GetModified());
        type("7");
        QVERIFY(w->GetModified());
        QVERIFY(w->core().isMarked(0));
        w->SetModified(false);
        QVERIFY(!w->GetModified());
        QVERIFY(w->core().marks().empty());
        QVERIFY(!w->core().canUndo());
        QCOMPARE(contentOf(*w)[0], 0x70); // the edit itself stays

        uint8_t out[4] = {9, 9, 9, 9};
        QCOMPARE(w->ReadBuffer(out, 62, 4), 2u);
        QCOMPARE(out[0], 62);
        QCOMPARE(out[1], 63);
        QCOMPARE(out[2], 9); // nothing written past what exists

        press(Qt::Key_A, Qt::ControlModifier);
        press(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(w->GetDataSize(), 0u);
        QVERIFY2(!w->GetModified(), "a pane deleted to empty reports no change");
    }

    // --- Keys ---------------------------------------------------------------------
    void arrowsAndTheirCtrlForms() {
        load(40);
        press(Qt::Key_Right);
        QCOMPARE(caret(), (Caret{0, 1, false}));
        press(Qt::Key_Right);
        press(Qt::Key_Left);
        QCOMPARE(caret(), (Caret{0, 1, false}));
        press(Qt::Key_Down);
        QCOMPARE(caret(), (Caret{16, 1, false}));
        click(29, false, 1);
        press(Qt::Key_Down);
        QCOMPARE(caret(), (Caret{39, 1, false})); // the short last row takes the caret to its end
        press(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{39, 1, false})); // not with Ctrl
        press(Qt::Key_Up);
        QCOMPARE(caret(), (Caret{23, 1, false}));
        press(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{31, 0, true}));
        press(Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{16, 0, false}));
        click(39, true);
        press(Qt::Key_Right);
        QCOMPARE(caret(), (Caret{39, 0, true})); // overwrite mode stops on the last byte
        press(Qt::Key_Insert);
        press(Qt::Key_Right);
        QCOMPARE(caret(), (Caret{40, 0, true})); // insert mode may stand after it
        press(Qt::Key_Insert);
        QCOMPARE(caret(), (Caret{39, 0, true})); // back in overwrite mode: onto the last byte
    }

    void pageKeysHomeAndEnd() {
        load(16 * 200);
        const std::size_t page = w->pageRows();
        QVERIFY(page >= 5);
        click(16 * 2 + 3, false);
        press(Qt::Key_PageDown);
        QCOMPARE(caret().pos, 16 * (2 + page) + 3);
        QCOMPARE(w->topRow(), page);
        QCOMPARE(w->verticalScrollBar()->value(), static_cast<int>(page));
        press(Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(caret().pos, 16 * (2 * page - 1) + 3);
        press(Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(caret().pos, 16 * page + 3);
        press(Qt::Key_PageUp);
        QCOMPARE(caret().pos, 3u);
        QCOMPARE(w->topRow(), 0u);
        press(Qt::Key_End);
        QCOMPARE(caret(), (Caret{15, 1, false}));
        press(Qt::Key_Home);
        QCOMPARE(caret(), (Caret{0, 0, false}));
        press(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{16 * 200 - 1, 0, false}));
        QCOMPARE(w->topRow(), 200 - page);
        press(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{0, 0, false}));
        press(Qt::Key_Insert);
        press(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{16 * 200, 0, false})); // insert mode: after the last byte
        press(Qt::Key_Up);
        press(Qt::Key_End);
        QCOMPARE(caret(), (Caret{16 * 199 + 15, 1, false}));
        press(Qt::Key_Tab);
        press(Qt::Key_Home);
        QCOMPARE(caret(), (Caret{16 * 199, 0, true})); // Home and End keep the column kind
    }

    void tabShiftTabAndCtrlTSwitchColumns() {
        load(40);
        click(9, false, 1);
        press(Qt::Key_Tab);
        QCOMPARE(caret(), (Caret{9, 0, true}));
        QVERIFY2(w->hasFocus(), "Tab stays in the pane");
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(caret(), (Caret{9, 0, false}));
        press(Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{9, 0, true}));
    }

    void shiftSelectsAndOverwriteKeysDropTheSelection() {
        load(64);
        click(5, true);
        press(Qt::Key_Right, Qt::ShiftModifier);
        press(Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(w->core().selection(), (Range{5, 22})); // from the anchor to the caret
        press(Qt::Key_C, Qt::ControlModifier);
        QVERIFY(w->core().hasSelection());
        press(Qt::Key_Escape);
        QVERIFY2(!w->core().hasSelection(), "any key without modifiers drops it");
        press(Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w->core().selection(), (Range{0, 64}));
    }

    void insertDeleteAndBackspace() {
        load(32);
        click(3, false);
        press(Qt::Key_Delete);
        QCOMPARE(w->GetDataSize(), 32u); // plain Delete in overwrite mode does nothing
        press(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(w->GetDataSize(), 31u);
        press(Qt::Key_Backspace);
        QCOMPARE(caret(), (Caret{2, 1, false})); // Backspace moves like Left in overwrite mode
        QCOMPARE(w->GetDataSize(), 31u);
        press(Qt::Key_Insert);
        QVERIFY(w->insertMode());
        click(3, false);
        press(Qt::Key_Backspace);
        QCOMPARE(w->GetDataSize(), 30u);
        QCOMPARE(contentOf(*w)[2], 4);
        press(Qt::Key_Delete);
        QCOMPARE(w->GetDataSize(), 29u);
        QCOMPARE(contentOf(*w)[2], 5);
        click(10, false);
        click(12, false, 0, Qt::ShiftModifier);
        press(Qt::Key_Delete);
        QCOMPARE(w->GetDataSize(), 26u);
        press(Qt::Key_Insert);
        QVERIFY(!w->insertMode());
    }

    void bookmarks() {
        load(16 * 100);
        click(16 * 3 + 4, true);
        press(Qt::Key_5, Qt::ControlModifier | Qt::ShiftModifier);
        press(Qt::Key_End, Qt::ControlModifier);
        press(Qt::Key_5, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{16 * 3 + 4, 0, true}));
        QCOMPARE(w->topRow(), 3u);
        // Shift turns the digit into a symbol on a US layout.
        click(16 * 90, false);
        press(Qt::Key_NumberSign, Qt::ControlModifier | Qt::ShiftModifier);
        press(Qt::Key_Home, Qt::ControlModifier);
        press(Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{16 * 90, 0, false}));
        press(Qt::Key_8, Qt::ControlModifier);
        QCOMPARE(caret(), (Caret{16 * 90, 0, false})); // an unset bookmark goes nowhere
    }

    void undoAndRedoKeys() {
        load(64);
        type("1234");
        press(Qt::Key_Insert);
        type("ff");
        QCOMPARE(w->GetDataSize(), 65u);
        press(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w->GetDataSize(), 64u);
        press(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(contentOf(*w), counting(64));
        QVERIFY(!w->GetModified());
        press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(contentOf(*w)[0], 0x12);
        QVERIFY(w->core().isMarked(1));
        press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w->GetDataSize(), 65u);
    }

    void windowShortcutsStillWorkWhileThePaneHasFocus() {
        QWidget window;
        auto* pane = new HexEditorControl(&window);
        pane->resize(600, 300);
        pane->LoadFromStream(std::span<const uint8_t>(counting(64)));
        int opened = 0, selectedAll = 0;
        QShortcut open(QKeySequence(Qt::CTRL | Qt::Key_O), &window);
        QShortcut all(QKeySequence(Qt::CTRL | Qt::Key_A), &window);
        connect(&open, &QShortcut::activated, [&] { ++opened; });
        connect(&all, &QShortcut::activated, [&] { ++selectedAll; });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        pane->setFocus();
        QTest::keyClick(pane, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(opened, 1);
        QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(selectedAll, 0); // the pane's own key wins
        QCOMPARE(pane->core().selection(), (Range{0, 64}));
    }

    // --- Typing ------------------------------------------------------------------------
    void typingInBothColumnsAndModes() {
        load(32);
        type("a5");
        QCOMPARE(contentOf(*w)[0], 0xA5);
        type("B");
        QCOMPARE(contentOf(*w)[1], 0xB1);
        type("q");
        QCOMPARE(caret(), (Caret{1, 1, false})); // not a hex digit: ignored
        press(Qt::Key_Tab);
        type("Zz");
        QCOMPARE(contentOf(*w)[1], 'Z');
        QCOMPARE(contentOf(*w)[2], 'z');
        QTest::sendKeyEvent(QTest::Click, w.get(), Qt::Key_unknown, QString(QChar(0xE9)), {});
        QCOMPARE(contentOf(*w)[3], 0xE9);
        QCOMPARE(markFlags(*w),
                 (std::vector<uint8_t>{1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        press(Qt::Key_Insert);
        type("ok");
        QCOMPARE(w->GetDataSize(), 34u);
        QCOMPARE(contentOf(*w)[4], 'o');
        QCOMPARE(contentOf(*w)[6], 4);
        press(Qt::Key_Tab);
        type("c");
        QCOMPARE(w->GetDataSize(), 35u);
        QCOMPARE(contentOf(*w)[6], 0xC0);
        type("d");
        QCOMPARE(contentOf(*w)[6], 0xCD);
        QVERIFY2(!w->core().isMarked(6), "insert mode marks nothing");
    }

    // --- Mouse ----------------------------------------------------------------------------
    void clickDragAndWheel() {
        load(16 * 100);
        click(0x25, false, 1);
        QCOMPARE(caret(), (Caret{0x25, 1, false}));
        click(0x27, true);
        QCOMPARE(caret(), (Caret{0x27, 0, true}));
        QVERIFY(!w->core().hasSelection());

        QWidget* vp = w->viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, w->cellRect(0x12, false).center());
        QMouseEvent move(QEvent::MouseMove, QPointF(w->cellRect(0x44, false).center()),
                         vp->mapToGlobal(QPointF(w->cellRect(0x44, false).center())), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, w->cellRect(0x44, false).center());
        QCOMPARE(w->core().selection(), (Range{0x12, 0x45}));

        QCOMPARE(w->topRow(), 0u);
        const QPointF at = vp->rect().center();
        QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &wheel);
        QVERIFY(w->topRow() > 0);
        QCOMPARE(caret(), (Caret{0x44, 0, false})); // the wheel scrolls without moving the caret
    }

    // --- Clipboard -------------------------------------------------------------------------
    void clipboardRoundTripAndHexText() {
        load(64);
        click(0x10, false);
        click(0x13, false, 0, Qt::ShiftModifier);
        press(Qt::Key_C, Qt::ControlModifier);
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        QVERIFY(mime);
        QCOMPARE(mime->text(), QStringLiteral("10 11 12 13"));
        QCOMPARE(mime->data(QString::fromLatin1(HexEditorControl::ByteMimeType)),
                 QByteArray("\x10\x11\x12\x13", 4));

        press(Qt::Key_Insert);
        press(Qt::Key_End, Qt::ControlModifier);
        press(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->GetDataSize(), 68u);
        QCOMPARE(contentOf(*w)[67], 0x13);

        click(0, false);
        click(1, false, 0, Qt::ShiftModifier);
        press(Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(w->GetDataSize(), 66u);
        QCOMPARE(contentOf(*w)[0], 2);
        press(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->GetDataSize(), 68u);
        QCOMPARE(contentOf(*w)[0], 0);
        QCOMPARE(contentOf(*w)[1], 1);

        press(Qt::Key_Insert); // overwrite: paste keeps the size
        QGuiApplication::clipboard()->setText(QStringLiteral("DE AD,be\nef"));
        click(64, false);
        press(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->GetDataSize(), 68u);
        QCOMPARE(contentOf(*w)[64], 0xDE);
        QCOMPARE(contentOf(*w)[67], 0xEF);
        QVERIFY(w->core().isMarked(67));

        QGuiApplication::clipboard()->setText(QStringLiteral("Hi!"));
        click(0, false);
        press(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(contentOf(*w)[0], 0); // text that is no hex does not go into the hex column
        click(0, true);
        press(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(contentOf(*w)[2], '!');
        // Text that looks like hex is still text in the character column.
        QGuiApplication::clipboard()->setText(QStringLiteral("CAFE"));
        click(8, true);
        press(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(contentOf(*w).data()) + 8, 4),
                 QByteArray("CAFE"));

        // A whole chip image: the bytes go at once, the hex text only on request.
        w->LoadFromStream(std::span<const uint8_t>(counting(DataBuffer::size())));
        press(Qt::Key_A, Qt::ControlModifier);
        press(Qt::Key_C, Qt::ControlModifier);
        mime = QGuiApplication::clipboard()->mimeData();
        QVERIFY(mime->hasText());
        QCOMPARE(mime->data(QString::fromLatin1(HexEditorControl::ByteMimeType)).size(),
                 qsizetype(DataBuffer::size()));
        load(64);

        QVERIFY(!HexEditorControl::parseHexText(QStringLiteral("1 23")));
        QVERIFY(!HexEditorControl::parseHexText(QStringLiteral("")));
        QCOMPARE(*HexEditorControl::parseHexText(QStringLiteral("0a0B")),
                 QByteArray("\x0a\x0b", 2));
    }

    // --- Binding to the data buffer ----------------------------------------------------------
    void refreshShowsTheFirstFlashSizeBytes() {
        DataBuffer buf;
        for (uint32_t i = 0; i < 8192; ++i)
            buf[i] = static_cast<uint8_t>(i * 3);
        vantor::RefreshHexView(buf, *w, 4096);
        QCOMPARE(w->GetDataSize(), 4096u);
        QCOMPARE(contentOf(*w)[4095], static_cast<uint8_t>(4095 * 3));
        QVERIFY(!w->GetModified());
        vantor::SyncBufferFromEditor(buf, *w, 4096);
        QCOMPARE(buf.UsedLength, 0); // nothing edited, nothing taken
    }

    void oneTypedByteTakesTheWholeChip() {
        DataBuffer buf;
        vantor::RefreshHexView(buf, *w, 2048);
        QCOMPARE(contentOf(*w), std::vector<uint8_t>(2048, 0xFF));
        click(5, false);
        type("00");
        vantor::SyncBufferFromEditor(buf, *w, 2048);
        QCOMPARE(buf.UsedLength, 2048);
        QCOMPARE(buf[5], 0x00);
        QCOMPARE(buf[4], 0xFF);
        QVERIFY(!w->GetModified());
        QVERIFY(w->core().marks().empty());
    }

    void insertGrowthIsClampedAndDeletesShorten() {
        DataBuffer buf;
        buf[4096] = 0x77;
        vantor::RefreshHexView(buf, *w, 4096);
        press(Qt::Key_Insert);
        type("0102030405");
        QCOMPARE(w->GetDataSize(), 4101u);
        vantor::SyncBufferFromEditor(buf, *w, 4096);
        QCOMPARE(buf.UsedLength, 4096);
        QCOMPARE(buf[0], 0x01);
        QCOMPARE(buf[4095], 0xFF);
        QCOMPARE(buf[4096], 0x77); // nothing past FlashSize is written

        click(0, false);
        click(99, false, 0, Qt::ShiftModifier);
        press(Qt::Key_Delete);
        vantor::SyncBufferFromEditor(buf, *w, 4096);
        QCOMPARE(buf.UsedLength, 4001);
    }

    void emptiedPaneAndChipChangeLeaveTheBufferAlone() {
        DataBuffer buf;
        buf.UsedLength = 123;
        buf[0] = 0x42;
        vantor::RefreshHexView(buf, *w, 1024);
        press(Qt::Key_A, Qt::ControlModifier);
        press(Qt::Key_Delete, Qt::ControlModifier);
        vantor::SyncBufferFromEditor(buf, *w, 1024);
        QCOMPARE(buf.UsedLength, 123);
        QCOMPARE(buf[0], 0x42);

        vantor::RefreshHexView(buf, *w, 1024);
        type("99");
        vantor::RefreshHexView(buf, *w, 8192); // another chip
        QCOMPARE(w->GetDataSize(), 8192u);
        QCOMPARE(contentOf(*w)[0], 0x42);
        QVERIFY(!w->GetModified());
        QCOMPARE(buf.UsedLength, 123);
    }

    void oversizedChipRecordsStayInsideTheBuffer() {
        DataBuffer buf;
        vantor::RefreshHexView(buf, *w, 0xFFFFFFFFu);
        QCOMPARE(w->GetDataSize(), static_cast<std::size_t>(DataBuffer::size()));
        press(Qt::Key_Insert);
        type("ab");
        vantor::SyncBufferFromEditor(buf, *w, 0xFFFFFFFFu);
        QCOMPARE(buf.UsedLength, static_cast<int32_t>(DataBuffer::size()));
        QCOMPARE(buf[0], 0xAB);
        QCOMPARE(buf[DataBuffer::size()], 0xFF); // the tail is not written
    }

    // --- Differential, with real events ---------------------------------------------------------
    void randomEditsMatchThePlainModel() {
        std::mt19937 rng(11);
        auto pick = [&](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(0, n)(rng);
        };
        std::vector<uint8_t> init(4096 + 300);
        for (auto& b : init)
            b = static_cast<uint8_t>(pick(255));
        w->LoadFromStream(std::span<const uint8_t>(init));
        w->setUndoBudget(std::size_t{1} << 40);
        HexModel m;
        m.load(init);
        const char typables[] = "0123456789abcdefABCDEFqz .~";
        for (int step = 0; step < 1500; ++step) {
            const std::size_t op = pick(99);
            const bool col = pick(1);
            const std::size_t p = vantor::hextest::interestingPos(rng, m.size());
            if (op < 70) {
                const int nib = col ? 0 : static_cast<int>(pick(1));
                click(p, col, nib);
                m.place(p, nib, col);
                if (pick(3) == 0) {
                    const std::size_t b = vantor::hextest::interestingPos(rng, m.size());
                    click(b, col, 0, Qt::ShiftModifier);
                    m.select(m.pos, b, col);
                }
            }
            if (op < 40) {
                for (std::size_t n = 1 + pick(12); n > 0; --n) {
                    const char ch = typables[pick(sizeof typables - 2)];
                    QTest::keyClick(w.get(), ch);
                    if (!m.insert)
                        m.hasSel = false;
                    m.type(static_cast<unsigned char>(ch));
                }
            } else if (op < 55) {
                QByteArray data(static_cast<qsizetype>(pick(3) == 0 ? pick(300) : pick(12)), '\0');
                for (auto& b : data)
                    b = static_cast<char>(pick(255));
                auto* mime = new QMimeData;
                mime->setData(QString::fromLatin1(HexEditorControl::ByteMimeType), data);
                QGuiApplication::clipboard()->setMimeData(mime);
                press(Qt::Key_V, Qt::ControlModifier);
                m.paste(std::vector<uint8_t>(data.begin(), data.end()));
            } else if (op < 70) {
                if (pick(1)) {
                    const bool ctrl = pick(1);
                    press(Qt::Key_Delete, ctrl ? Qt::ControlModifier : Qt::NoModifier);
                    if (!m.insert && !ctrl)
                        m.hasSel = false;
                    else
                        m.del();
                } else if (m.insert) {
                    press(Qt::Key_Backspace);
                    m.backspace();
                }
            } else if (op < 82) {
                press(Qt::Key_Z, Qt::ControlModifier);
                m.undo();
            } else if (op < 92) {
                press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
                m.redo();
            } else {
                if (!m.insert)
                    m.hasSel = false;
                press(Qt::Key_Insert);
                m.toggleInsert();
            }
            QVERIFY2(contentOf(*w) == m.bytes,
                     qPrintable(QString("bytes differ at step %1").arg(step)));
            QVERIFY2(markFlags(*w) == m.marks,
                     qPrintable(QString("marks differ at step %1").arg(step)));
            QCOMPARE(w->GetModified(), m.modified());
        }
    }

    // --- Pictures ------------------------------------------------------------------------------
    void renderedPanesShowMarksSelectionAndCaret() {
        const std::size_t sizes[] = {256, 4u << 20, 64u << 20};
        for (std::size_t size : sizes) {
            std::vector<uint8_t> data(size);
            for (std::size_t i = 0; i < size; ++i)
                data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
            w->LoadFromStream(std::span<const uint8_t>(data));
            data = {};
            const std::size_t base = size > 4096 ? size - 0x100 : 0;
            click(base + 0x23, false);
            type("ab12");
            click(base + 0x40, true);
            type("Hello");
            click(base + 0x52, false);
            click(base + 0x75, false, 0, Qt::ShiftModifier);
            w->setFocus();
            const QImage img = w->grab().toImage();
            const QString name = QStringLiteral("hexpane-%1.png").arg(size);
            QVERIFY(img.save(QDir(VANTOR_PICTURE_DIR).filePath(name)));

            auto colorAt = [&](QRect r) {
                return img.pixelColor(
                    w->viewport()->mapTo(w.get(), QPoint(r.left() + 1, r.top() + 1)));
            };
            QCOMPARE(colorAt(w->cellRect(base + 0x23, false)), HexEditorControl::ChangedBackground);
            QCOMPARE(colorAt(w->cellRect(base + 0x41, true)), HexEditorControl::ChangedBackground);
            QCOMPARE(colorAt(w->cellRect(base + 0x60, false)),
                     w->palette().color(QPalette::Highlight));
            QCOMPARE(colorAt(w->cellRect(base + 0x30, false)), w->palette().color(QPalette::Base));
        }

        // The caret's frame: navy with the focus, aqua without.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        click(0x10, false);
        const QRect cell = w->cellRect(0x10, false);
        const QPoint edge =
            w->viewport()->mapTo(w.get(), QPoint(cell.left() + 1, cell.center().y()));
        QVERIFY(w->hasFocus());
        QCOMPARE(w->grab().toImage().pixelColor(edge), HexEditorControl::CaretColor);
        w->clearFocus();
        QCOMPARE(w->grab().toImage().pixelColor(edge), HexEditorControl::CaretColorUnfocused);
    }
};

QTEST_MAIN(HexEditorControlTest)
#include "HexEditorControlTest.moc"
