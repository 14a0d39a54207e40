// Find and go-to in the hex pane's core: what the texts mean, the search in
// both directions with wrapping, and where the caret and selection end up.
#include "controls/HexFind.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vantor::hex;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(uint8_t(v));
    return out;
}

TEST(HexFind, PatternAndOffsetTexts) {
    EXPECT_EQ(ParseHexBytes("DE AD be ef"), Bytes({0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(ParseHexBytes("deadbeef"), Bytes({0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(ParseHexBytes("01,02"), Bytes({1, 2}));
    for (const char* bad : {"", "  ", "D", "DEA", "D E", "GG", "0x12"})
        EXPECT_FALSE(ParseHexBytes(bad)) << bad;

    EXPECT_EQ(ParseOffset("1A2B", true), 0x1A2Bu);
    EXPECT_EQ(ParseOffset("0x1a2b", true), 0x1A2Bu);
    EXPECT_EQ(ParseOffset(" 1A2Bh ", true), 0x1A2Bu);
    EXPECT_EQ(ParseOffset("1234", false), 1234u);
    for (const char* bad : {"", "1A", "-1", "0x10", "99999999999999999999999"})
        EXPECT_FALSE(ParseOffset(bad, false)) << bad;
    EXPECT_FALSE(ParseOffset("12G", true));
}

TEST(HexFind, BothDirectionsWrap) {
    // Hits at 2, 10 and one running across the end of a search start.
    std::vector<uint8_t> data(16, 0);
    const auto p = Bytes({0xAA, 0xBB});
    data[2] = data[10] = 0xAA;
    data[3] = data[11] = 0xBB;
    const std::span<const uint8_t> d(data);
    EXPECT_EQ(FindPattern(d, p, 0, true), 2u);
    EXPECT_EQ(FindPattern(d, p, 3, true), 10u);
    EXPECT_EQ(FindPattern(d, p, 11, true), 2u); // wrapped
    EXPECT_EQ(FindPattern(d, p, 10, false), 2u);
    EXPECT_EQ(FindPattern(d, p, 2, false), 10u); // wrapped
    EXPECT_EQ(FindPattern(d, p, 0, false), 10u);
    EXPECT_EQ(FindPattern(d, p, 16, true), 2u);
    // A match straddling the start is found after the wrap, and at the very end.
    EXPECT_EQ(FindPattern(d, p, 11, true), 2u);
    data[14] = 0xAA;
    data[15] = 0xBB;
    EXPECT_EQ(FindPattern(d, p, 12, true), 14u);
    EXPECT_EQ(FindPattern(d, p, 3, false), 2u);
    EXPECT_EQ(FindPattern(d, p, 1, false), 14u);
    // Absent, empty, longer than the data.
    EXPECT_FALSE(FindPattern(d, Bytes({0xCC}), 5, true));
    EXPECT_FALSE(FindPattern(d, Bytes({0xCC}), 5, false));
    EXPECT_FALSE(FindPattern(d, {}, 0, true));
    EXPECT_FALSE(FindPattern(d, std::vector<uint8_t>(17, 0), 0, true));
}

TEST(HexFind, HitIsSelectedScrolledAndRepeatMovesOn) {
    std::vector<uint8_t> data(4096, 0x11);
    const char text[] = "needle";
    for (std::size_t at : {100u, 3000u})
        std::memcpy(&data[at], text, 6);
    HexEditorCore core;
    core.load(data);
    core.setPageRows(4);
    const std::vector<uint8_t> needle(text, text + 6);

    ASSERT_TRUE(FindNext(core, needle, true));
    EXPECT_EQ(core.selection(), (Range{100, 106}));
    ASSERT_TRUE(FindNext(core, needle, true)); // F3
    EXPECT_EQ(core.selection(), (Range{3000, 3006}));
    EXPECT_LE(core.topRow(), 3000u / BytesPerRow);
    EXPECT_GT(core.topRow() + core.pageRows(), 3005u / BytesPerRow);
    ASSERT_TRUE(FindNext(core, needle, true)); // wraps
    EXPECT_EQ(core.selection(), (Range{100, 106}));
    ASSERT_TRUE(FindNext(core, needle, false)); // Shift+F3 wraps back
    EXPECT_EQ(core.selection(), (Range{3000, 3006}));

    const Range before = core.selection();
    EXPECT_FALSE(FindNext(core, Bytes({0xDE, 0xAD}), true));
    EXPECT_EQ(core.selection(), before); // nothing moves

    EXPECT_TRUE(GoToOffset(core, 0x800));
    EXPECT_FALSE(core.hasSelection());
    EXPECT_EQ(core.caret().pos, 0x800u);
    EXPECT_LE(core.topRow(), 0x800u / BytesPerRow);
    EXPECT_GT(core.topRow() + core.pageRows(), 0x800u / BytesPerRow);
    EXPECT_FALSE(GoToOffset(core, 4096));
    EXPECT_EQ(core.caret().pos, 0x800u);
}

} // namespace
