// The hex pane's logic without a window: marks, offset labels, the keyboard,
// typing, undo with its budget, and a differential run against a plain model.
#include "controls/HexEditorCore.h"
#include "controls/HexOffsetFormat.h"
#include "tests/controls/HexModel.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>

using namespace vantor::hex;
using vantor::hextest::HexModel;

namespace {

KeyStroke key(Key k, bool shift = false, bool ctrl = false) {
    return {k, 0, shift, ctrl, false};
}
KeyStroke chr(char32_t c, bool shift = false, bool ctrl = false) {
    return {Key::Character, c, shift, ctrl, false};
}

std::vector<uint8_t> counting(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i);
    return v;
}

std::vector<uint8_t> bytesOf(const HexEditorCore& c) {
    return {c.data(), c.data() + c.size()};
}

std::vector<uint8_t> markFlags(const HexEditorCore& c) {
    std::vector<uint8_t> f(c.size(), 0);
    for (const Range& r : c.marks().ranges())
        for (std::size_t i = r.begin; i < r.end; ++i)
            f.at(i) = 1;
    return f;
}

class Core : public ::testing::Test {
protected:
    void load(std::size_t n, std::size_t pageRows = 4) {
        c.load(counting(n));
        c.setPageRows(pageRows);
    }
    void press(KeyStroke k) { c.handleKey(k); }
    void typeText(const std::string& s) {
        for (char ch : s)
            c.handleKey(chr(static_cast<unsigned char>(ch)));
    }
    Caret at(std::size_t pos, int nibble = 0, bool charColumn = false) {
        return {pos, nibble, charColumn};
    }

    HexEditorCore c;
};

} // namespace

// --- Marks ------------------------------------------------------------------

TEST(HexMarkSet, AgreesWithPerByteFlagsUnderRandomEdits) {
    std::mt19937 rng(7);
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n)(rng);
    };
    MarkSet set;
    std::vector<uint8_t> flags(300, 0);
    for (int step = 0; step < 4000; ++step) {
        const std::size_t b = pick(flags.size());
        const std::size_t e = std::min(flags.size(), b + pick(12));
        switch (pick(3)) {
        case 0:
            set.add({b, e});
            std::fill(flags.begin() + b, flags.begin() + e, 1);
            break;
        case 1:
            set.remove({b, e});
            std::fill(flags.begin() + b, flags.begin() + e, 0);
            break;
        default: {
            const std::size_t newLen = pick(10);
            std::vector<Range> newMarks;
            if (newLen > 2)
                newMarks.push_back({1, newLen - 1});
            std::vector<uint8_t> fresh(newLen, 0);
            for (const Range& m : newMarks)
                std::fill(fresh.begin() + m.begin, fresh.begin() + m.end, 1);
            set.replace(b, e - b, newLen, newMarks);
            flags.erase(flags.begin() + b, flags.begin() + e);
            flags.insert(flags.begin() + b, fresh.begin(), fresh.end());
            break;
        }
        }
        std::vector<uint8_t> seen(flags.size(), 0);
        for (std::size_t i = 0; i < set.ranges().size(); ++i) {
            const Range r = set.ranges()[i];
            ASSERT_LT(r.begin, r.end);
            if (i) {
                ASSERT_LT(set.ranges()[i - 1].end, r.begin)
                    << "ranges must stay disjoint and apart";
            }
            ASSERT_LE(r.end, flags.size());
            std::fill(seen.begin() + r.begin, seen.begin() + r.end, 1);
        }
        ASSERT_EQ(seen, flags) << "step " << step;
        const std::size_t probe = pick(flags.size() - 1);
        ASSERT_EQ(set.contains(probe), flags[probe] != 0);
    }
}

// --- Offset labels ------------------------------------------------------------

TEST(HexOffsetFormat, PaneFormatLabelsRowsWithDigitsOfTheWholeRowTotal) {
    const auto f = OffsetFormat::Parse("-!10:0x|");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->width(), 0);
    EXPECT_EQ(f->radix(), 16);
    EXPECT_EQ(f->prefix(), "0x");
    EXPECT_EQ(f->suffix(), "");
    auto label = [&](uint64_t off, uint64_t total) { return f->format(off, total, 16, 2); };
    EXPECT_EQ(label(0, 256 * 1024), "0x00000");
    EXPECT_EQ(label(0x3FFF0, 256 * 1024), "0x3FFF0");
    EXPECT_EQ(label(0, 256), "0x000");
    EXPECT_EQ(label(0xF0, 256), "0x0F0");
    EXPECT_EQ(label(0x3FFFFF0, 64u << 20), "0x3FFFFF0");
    EXPECT_EQ(label(0, 64u << 20), "0x0000000");
    EXPECT_EQ(label(0xABC0, 0xFFF1), "0x0ABC0") << "0xFFF1 bytes fill rows up to 0x10000";
    EXPECT_EQ(label(0x10, 17), "0x10");
    EXPECT_EQ(label(0, 0), "0x0");
    EXPECT_EQ(f->labelLength(256 * 1024, 16, 2), 7);
}

TEST(HexOffsetFormat, UnitsFixedWidthsRadixesAndSuffix) {
    const auto rows = OffsetFormat::Parse("r%4!0A:|h");
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->format(32, 1000, 16, 2), "0002h");
    const auto cols = OffsetFormat::Parse("c%-!10:|");
    ASSERT_TRUE(cols);
    EXPECT_EQ(cols->format(0x40, 0x100, 16, 2), "20");
    const auto eights = OffsetFormat::Parse("8%2!10:$");
    ASSERT_TRUE(eights);
    EXPECT_EQ(eights->format(0x80, 0x1000, 16, 2), "$10");
    const auto binary = OffsetFormat::Parse("-!2:|b");
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->format(0x10, 0x20, 16, 2), "010000b");
    const auto noWidth = OffsetFormat::Parse("10:");
    ASSERT_TRUE(noWidth);
    EXPECT_EQ(noWidth->format(0x30, 0x1000, 16, 2), "0030");
}

TEST(HexOffsetFormat, RefusesMalformedText) {
    for (const char* bad :
         {"", "-!", "-!10", "-!11:", "-!1:", "0%-!10:", "0!10:", "-!x:", "123456789:"})
        EXPECT_FALSE(OffsetFormat::Parse(bad)) << bad;
}

// --- Keyboard (the key table with real events is in the widget's tests) ---

TEST_F(Core, OverwriteModeDropsTheSelectionOnAnyKeyWithoutModifiers) {
    load(64);
    c.select(4, 9, false);
    EXPECT_EQ(c.handleKey(chr('c', false, true)).clipboard, ClipboardAction::Copy);
    EXPECT_TRUE(c.hasSelection()) << "Ctrl keeps it";
    press(key(Key::Insert));
    EXPECT_FALSE(c.hasSelection()) << "even Insert drops it";
    press(key(Key::Insert));
    c.select(4, 9, false);
    press(key(Key::Delete));
    EXPECT_FALSE(c.hasSelection());
    EXPECT_EQ(c.size(), 64u) << "and Delete without Ctrl deletes nothing";

    press(key(Key::Insert));
    c.select(4, 9, false);
    press(key(Key::Left));
    press(key(Key::Right, true));
    EXPECT_EQ(c.selection(), (Range{8, 9})) << "insert mode: plain movement drops it too";
}

TEST_F(Core, ShiftSelectionRunsFromTheAnchorToTheCaret) {
    load(64);
    c.moveCaret(at(4, 0, true));
    press(key(Key::Right, true));
    EXPECT_EQ(c.selection(), (Range{4, 5})) << "one step, one character";
    press(key(Key::Left, true));
    EXPECT_FALSE(c.hasSelection()) << "back where it started: nothing";
    press(key(Key::Left, true));
    EXPECT_EQ(c.selection(), (Range{3, 4}));
    // In the hex column a byte counts once the caret has passed a digit of it.
    c.moveCaret(at(8));
    press(key(Key::Right, true));
    EXPECT_EQ(c.selection(), (Range{8, 9}));
    press(key(Key::Right, true));
    press(key(Key::Right, true));
    EXPECT_EQ(c.selection(), (Range{8, 10}));
    press(key(Key::End, true));
    EXPECT_EQ(c.selection(), (Range{8, 16})) << "to the row's last digit";
    // Insert mode: typing over one selected byte replaces that byte only.
    press(key(Key::Insert));
    c.moveCaret(at(20, 0, true));
    press(key(Key::Right, true));
    typeText("Z");
    EXPECT_EQ(c.size(), 64u);
    EXPECT_EQ(c.at(20), 'Z');
    EXPECT_EQ(c.at(21), 21);
}

TEST_F(Core, BackspaceAfterOneTypedDigitTakesTheHalfTypedByte) {
    load(8);
    press(key(Key::Insert));
    c.moveCaret(at(3));
    typeText("a");
    EXPECT_EQ(c.size(), 9u);
    press(key(Key::Backspace));
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(c.caret(), at(3));
    press(key(Key::Backspace));
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{0, 1, 3, 4, 5, 6, 7})) << "then the one before";
}

TEST_F(Core, BookmarksAreSetWithCtrlShiftDigitAndVisitedWithCtrlDigit) {
    load(300, 4);
    c.moveCaret(at(200, 0, true));
    press(chr('7', true, true));
    c.moveCaret(at(3));
    press(chr('7', false, true));
    EXPECT_EQ(c.caret(), at(200, 0, true));
    EXPECT_GE(c.topRow() + c.pageRows(), 13u) << "the bookmark's row is scrolled into view";
    press(chr('2', false, true));
    EXPECT_EQ(c.caret(), at(200, 0, true)) << "an unset bookmark leaves the caret";
    press(key(Key::Insert));
    c.moveCaret(at(10));
    c.paste(std::vector<uint8_t>(5, 0xEE));
    EXPECT_EQ(c.bookmark(7)->pos, 205u) << "bookmarks stay with their byte";
}

// --- Typing -------------------------------------------------------------------------

TEST_F(Core, HexOverwriteSetsHighThenLowHalfAndMarksOnlyRealChanges) {
    load(4);
    typeText("a");
    EXPECT_EQ(c.at(0), 0xA0);
    EXPECT_EQ(c.caret(), at(0, 1));
    typeText("B");
    EXPECT_EQ(c.at(0), 0xAB);
    EXPECT_EQ(c.caret(), at(1, 0));
    typeText("01"); // byte 1 already is 0x01
    EXPECT_EQ(markFlags(c), (std::vector<uint8_t>{1, 0, 0, 0}));
    typeText("zz"); // not hex: ignored
    EXPECT_EQ(c.caret(), at(2, 0));
    c.moveCaret(at(3, 1));
    typeText("77");
    EXPECT_EQ(c.at(3), 0x07) << "the caret stays on the last digit, rewriting it";
    EXPECT_EQ(c.caret(), at(3, 1));
    EXPECT_EQ(c.size(), 4u);
}

TEST_F(Core, SameValueChangesNothing) {
    load(4);
    typeText("00");
    EXPECT_FALSE(c.modified());
    EXPECT_FALSE(c.canUndo());
    EXPECT_TRUE(c.marks().empty());
}

TEST_F(Core, HexDigitWithASelectionSetsTheHighHalf) {
    load(8);
    c.moveCaret(at(2, 0));
    press(key(Key::Right, true)); // selects byte 2, caret on its low digit
    press(chr('C', true));
    EXPECT_EQ(c.at(2), 0xC2);
}

TEST_F(Core, HexInsertAddsABytePerFirstDigitAndReplacesTheSelection) {
    load(4);
    press(key(Key::Insert));
    c.moveCaret(at(1));
    typeText("9");
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{0, 0x90, 1, 2, 3}));
    typeText("5");
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{0, 0x95, 1, 2, 3}));
    EXPECT_EQ(c.caret(), at(2, 0));
    c.moveCaret(at(2, 1));
    typeText("f");
    EXPECT_EQ(c.at(2), 0x0F) << "a second digit changes the byte in place";
    c.select(0, 2, false);
    typeText("e");
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{0xE0, 2, 3}));
    EXPECT_EQ(c.caret(), at(0, 1));
    EXPECT_TRUE(c.marks().empty()) << "insert mode marks nothing";
    c.moveCaret(at(3));
    typeText("12");
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{0xE0, 2, 3, 0x12}));

    c.load({});
    press(key(Key::End, false, true));
    typeText("a");
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{0xA0})) << "an empty pane gets the byte appended";
}

TEST_F(Core, CharacterColumnTypingInBothModes) {
    load(4);
    c.moveCaret(at(0, 0, true));
    typeText("Hi");
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{'H', 'i', 2, 3}));
    EXPECT_EQ(markFlags(c), (std::vector<uint8_t>{1, 1, 0, 0}));
    c.handleKey(chr(U'\x1f'));
    c.handleKey(chr(U'\u0410'));
    EXPECT_EQ(c.at(2), 2) << "codes below 32 and beyond one byte are ignored";
    typeText("xyz");
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{'H', 'i', 'x', 'z'}));
    c.handleKey(chr(U'\u00e9'));
    EXPECT_EQ(c.at(3), 0xE9);

    press(key(Key::Insert));
    c.moveCaret(at(4, 0, true));
    typeText("!");
    EXPECT_EQ(c.size(), 5u);
    EXPECT_EQ(c.at(4), '!');
    c.select(0, 1, true);
    typeText("-");
    EXPECT_EQ(bytesOf(c), (std::vector<uint8_t>{'-', 'x', 0xE9, '!'}));
    EXPECT_EQ(markFlags(c), (std::vector<uint8_t>{0, 1, 1, 0}));
}

TEST_F(Core, OverwriteTypingIntoAnEmptyPaneWritesNothing) {
    c.load({});
    typeText("12ab");
    c.moveCaret(at(0, 0, true));
    typeText("xy");
    EXPECT_EQ(c.size(), 0u);
    EXPECT_FALSE(c.modified());
}

// --- Undo ------------------------------------------------------------------------------

TEST_F(Core, ATypingRunIsOneUndoStepHoldingOnlyTheOldBytes) {
    load(64);
    c.moveCaret(at(14));
    typeText("89abcdef01234567"); // eight bytes, across a row edge
    EXPECT_EQ(c.history().undoCount(), 1u);
    EXPECT_LT(c.history().usedBytes(), sizeof(EditRecord) + 64);
    const std::vector<uint8_t> flags = markFlags(c);
    EXPECT_EQ(std::accumulate(flags.begin(), flags.end(), 0), 8);
    press(key(Key::Right));
    typeText("ff");
    EXPECT_EQ(c.history().undoCount(), 2u) << "moving the caret ends a run";
    press(chr('z', false, true));
    press(chr('z', false, true));
    EXPECT_EQ(bytesOf(c), counting(64));
    EXPECT_TRUE(c.marks().empty());
    EXPECT_FALSE(c.modified()) << "undone back to what was loaded";
    EXPECT_EQ(c.caret(), at(14));
    press(chr('z', true, true));
    EXPECT_EQ(c.at(14), 0x89);
    EXPECT_EQ(c.at(21), 0x67);
    EXPECT_TRUE(c.isMarked(21));
    EXPECT_TRUE(c.modified());
}

TEST_F(Core, InsertRunsAndMixedEditsUndoToTheLoadedBytes) {
    load(100);
    press(key(Key::Insert));
    c.moveCaret(at(30, 0, true));
    typeText("hello");
    c.select(10, 19, false);
    press(key(Key::Delete));
    press(key(Key::Insert));
    c.moveCaret(at(0));
    typeText("cafe");
    c.moveCaret(at(50));
    c.paste(std::vector<uint8_t>(80, 0x55));
    EXPECT_EQ(c.size(), 95u);
    while (c.undo()) {
    }
    EXPECT_EQ(bytesOf(c), counting(100));
    EXPECT_TRUE(c.marks().empty());
    while (c.redo()) {
    }
    EXPECT_EQ(c.size(), 95u);
    EXPECT_EQ(c.at(0), 0xCA);
    EXPECT_EQ(c.at(94), 0x55);
}

TEST_F(Core, LargeInsertCostsNothingToUndoAndItsBytesOnceToRedo) {
    load(1000);
    press(key(Key::Insert));
    std::vector<uint8_t> big(1 << 20, 0xAB);
    c.paste(big);
    EXPECT_LT(c.history().usedBytes(), 1024u);
    c.undo();
    EXPECT_GE(c.history().usedBytes(), big.size());
    EXPECT_LT(c.history().usedBytes(), big.size() + 1024);
    c.redo();
    EXPECT_EQ(c.size(), 1000u + big.size());
}

TEST_F(Core, TheBudgetDropsTheOldestStepsButNeverTheNewest) {
    load(200 * 1024);
    c.history().setBudget(64 * 1024);
    auto overwriteFrom = [&](std::size_t pos, uint8_t v, std::size_t n) {
        c.moveCaret(at(pos));
        c.paste(std::vector<uint8_t>(n, v));
    };
    overwriteFrom(0, 0xA1, 30 * 1024);
    overwriteFrom(40 * 1024, 0xA2, 30 * 1024);
    EXPECT_EQ(c.history().undoCount(), 2u);
    overwriteFrom(80 * 1024, 0xA3, 30 * 1024);
    EXPECT_EQ(c.history().undoCount(), 2u);
    EXPECT_LE(c.history().usedBytes(), 64u * 1024);
    c.select(0, 150 * 1024, false);
    c.handleKey(key(Key::Delete, false, true));
    EXPECT_EQ(c.history().undoCount(), 1u) << "alone over the budget, yet kept";
    c.undo();
    c.undo();
    EXPECT_EQ(c.size(), 200u * 1024);
    EXPECT_EQ(c.at(0), 0xA1) << "the first overwrite is no longer undoable";
    EXPECT_EQ(c.at(80 * 1024), 0xA3);
    EXPECT_TRUE(c.modified());
}

TEST_F(Core, ModifiedStateAndReads) {
    EXPECT_FALSE(c.modified());
    load(8);
    EXPECT_FALSE(c.modified());
    typeText("1");
    EXPECT_TRUE(c.modified());
    c.setModified(false);
    EXPECT_FALSE(c.modified());
    EXPECT_TRUE(c.marks().empty());
    EXPECT_FALSE(c.canUndo());
    EXPECT_EQ(c.at(0), 0x10);
    c.setModified(true);
    EXPECT_TRUE(c.modified());
    c.selectAll();
    c.handleKey(key(Key::Delete, false, true));
    EXPECT_EQ(c.size(), 0u);
    EXPECT_FALSE(c.modified()) << "an empty pane never counts as modified";

    load(8);
    uint8_t out[8] = {};
    EXPECT_EQ(c.read(out, 6, 8), 2u);
    EXPECT_EQ(out[0], 6);
    EXPECT_EQ(out[1], 7);
    EXPECT_EQ(c.read(out, 8, 1), 0u);
}

// --- Differential -------------------------------------------------------------------------

namespace {

void expectSame(const HexEditorCore& c, const HexModel& m, int step) {
    ASSERT_EQ(c.size(), m.size()) << "step " << step;
    ASSERT_TRUE(std::equal(m.bytes.begin(), m.bytes.end(), c.data())) << "step " << step;
    ASSERT_EQ(markFlags(c), m.marks) << "step " << step;
    ASSERT_EQ(c.modified(), m.modified()) << "step " << step;
    ASSERT_EQ(c.canUndo(), !m.undoStack.empty()) << "step " << step;
    ASSERT_EQ(c.canRedo(), !m.redoStack.empty()) << "step " << step;
}

void runDifferential(unsigned seed, int steps) {
    std::mt19937 rng(seed);
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n)(rng);
    };
    HexEditorCore c;
    HexModel m;
    c.history().setBudget(std::size_t{1} << 40);
    std::vector<uint8_t> init(4096 + 700);
    for (auto& b : init)
        b = static_cast<uint8_t>(pick(255));
    c.load(init);
    m.load(init);
    const std::string typables = "0123456789abcdefABCDEFxyz .~\x01\x7f";
    for (int step = 0; step < steps; ++step) {
        const std::size_t op = pick(99);
        const bool col = pick(1);
        if (op < 40) { // a typing run somewhere
            const std::size_t p = vantor::hextest::interestingPos(rng, m.size());
            const int nib = static_cast<int>(pick(1));
            c.moveCaret({p, nib, col});
            m.place(p, nib, col);
            if (pick(4) == 0) {
                const std::size_t a = vantor::hextest::interestingPos(rng, m.size());
                c.select(a, p, col);
                m.select(a, p, col);
            }
            const std::size_t n = 1 + pick(24);
            for (std::size_t i = 0; i < n; ++i) {
                char32_t ch = static_cast<unsigned char>(typables[pick(typables.size() - 1)]);
                if (pick(10) == 0)
                    ch = static_cast<char32_t>(128 + pick(200)); // beyond Latin-1 now and then
                const bool shift = ch >= 'A' && ch <= 'Z';
                if (!m.insert && !shift)
                    m.hasSel = false;
                c.handleKey(chr(ch, shift));
                m.type(ch);
                ASSERT_EQ(c.caret().pos, m.pos) << "step " << step;
                ASSERT_EQ(c.caret().nibble, m.nibble) << "step " << step;
            }
        } else if (op < 55) { // paste, over a selection or at the caret
            const std::size_t p = vantor::hextest::interestingPos(rng, m.size());
            c.moveCaret({p, 0, col});
            m.place(p, 0, col);
            if (pick(2) == 0) {
                const std::size_t a = vantor::hextest::interestingPos(rng, m.size());
                c.select(a, p, col);
                m.select(a, p, col);
            }
            std::vector<uint8_t> data(pick(3) == 0 ? pick(600) : pick(20));
            for (auto& b : data)
                b = static_cast<uint8_t>(pick(3) == 0 ? 0 : pick(255));
            c.paste(data);
            m.paste(data);
        } else if (op < 68) { // Delete or Backspace
            const std::size_t p = vantor::hextest::interestingPos(rng, m.size());
            c.moveCaret({p, 0, col});
            m.place(p, 0, col);
            if (pick(2) == 0) {
                const std::size_t a = vantor::hextest::interestingPos(rng, m.size());
                c.select(a, p, col);
                m.select(a, p, col);
            }
            const bool ctrl = pick(1);
            if (pick(1)) {
                c.handleKey(key(Key::Delete, false, ctrl));
                if (!m.insert && !ctrl)
                    m.hasSel = false;
                else
                    m.del();
            } else if (m.insert) {
                c.handleKey(key(Key::Backspace));
                m.backspace();
            }
        } else if (op < 80) {
            c.handleKey(chr('z', false, true));
            m.undo();
        } else if (op < 90) {
            c.handleKey(chr('z', true, true));
            m.redo();
        } else if (op < 97) {
            if (!m.insert)
                m.hasSel = false;
            c.handleKey(key(Key::Insert));
            m.toggleInsert();
        } else {
            c.setModified(false);
            m.clean();
        }
        expectSame(c, m, step);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    while (c.undo())
        ;
    while (m.undo())
        ;
    expectSame(c, m, steps);
}

} // namespace

TEST(HexDifferential, RandomEditsLeaveTheSameBytesMarksAndHistoryAsAPlainModel) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        runDifferential(seed, 3000);
        if (HasFatalFailure())
            return;
    }
}
