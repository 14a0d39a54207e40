// The Test button's decision: reply bytes and chip boxes in, selection calls
// and box text out.
#include "chipdb/ChipDetection.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "tests/chipdb/ChipTestUtil.h"

#include <gtest/gtest.h>

using namespace vantor;
using vantor::test::MakeRecord;

namespace {

ChipRecord WithId(ChipRecord r, std::uint32_t id) {
    r.ChipId = id;
    return r;
}

// Boxes over `db`, set up the way start-up leaves them.
ChipSelection BoxesAt(const ChipDatabase& db, int t, int m, int n) {
    ChipSelection boxes(&db);
    boxes.SelTypeIndex = t;
    boxes.SelMakerIndex = m;
    boxes.SelNameIndex = n;
    boxes.SelectChip(t, m, n);
    return boxes;
}

// Carries an outcome out on `boxes` as the window would.
void Apply(const DetectionOutcome& outcome, ChipSelection& boxes) {
    ApplyDetection(outcome, boxes, [&](int t, int m, int n) { boxes.SelectChip(t, m, n); });
}

class ChipDetectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::Fill(db, {
                           WithId(MakeRecord("SPI,GD,GD25Q32"), 0xC84016),
                           WithId(MakeRecord("SPI,Winbond,W25Q32", 4u << 20), 0xEF4016),
                           WithId(MakeRecord("SPI,Winbond,W25Q64", 8u << 20), 0xEF4017),
                           MakeRecord("24EE,Atmel,AT24C02", 256, 8),
                           MakeRecord("93EE,Atmel,AT93C46", 128, 2),
                       });
    }
    ChipDatabase db;
    RecordingPrompts prompts;
    ScopedPrompts scoped{prompts};
};

TEST_F(ChipDetectionTest, KnownIdSelectsItsRecordInThreePassesAndIsRemembered) {
    ChipSelection boxes = BoxesAt(db, 1, 0, 0); // a 24-series chip shown
    int refreshes = 0;
    boxes.setRefreshHexView([&] { ++refreshes; });

    const auto out = DecideDetection(7, {1, 0xEF, 0x40, 0x16}, boxes, English);
    EXPECT_EQ(out.result, DetectionResult::Identified);
    EXPECT_EQ(out.slot, 1);
    // Pass 1 keeps the old maker and name positions; pass 2 finds Winbond in
    // the refilled maker box; pass 3 finds the name among Winbond's names.
    EXPECT_EQ(out.selectCalls, (std::vector<SelectChipCall>{{0, 0, 0}, {0, 1, 0}, {0, 1, 0}}));
    EXPECT_TRUE(out.remember);
    EXPECT_EQ(out.errorText, "");
    EXPECT_EQ(out.informationText, "The chip was detected:W25Q32\n\n Chip typeSPI");
    EXPECT_EQ(refreshes, 0) << "the decision must not touch the window";
    EXPECT_EQ(boxes.CurrentChipIndex(), 3) << "the decision must not change the boxes";

    Apply(out, boxes);
    EXPECT_EQ(boxes.CurrentChipIndex(), 1);
    EXPECT_EQ(boxes.nameBox().text(), "W25Q32");
    EXPECT_EQ(boxes.SelTypeIndex, 0);
    EXPECT_EQ(boxes.SelMakerIndex, 1);
    EXPECT_EQ(boxes.SelNameIndex, 0);
    EXPECT_EQ(refreshes, 3);
    EXPECT_EQ(prompts.texts("information"), std::vector<std::string>{out.informationText});
    EXPECT_TRUE(prompts.texts("error").empty());
}

TEST_F(ChipDetectionTest, DetectedTextsInChinese) {
    ChipSelection boxes = BoxesAt(db, 0, 0, 0);
    EXPECT_EQ(DecideDetection(7, {1, 0xEF, 0x40, 0x17}, boxes, SimplifiedChinese).informationText,
              "检测到芯片：W25Q64\n\n芯片类型 ：SPI");
    EXPECT_EQ(DecideDetection(7, {2, 0, 0, 0}, boxes, TraditionalChinese).informationText,
              "檢測到芯片芯片類型: 24EE\n\n請手動選擇對應型號燒寫。");
}

TEST_F(ChipDetectionTest, LowerSlotWinsAndEqualNamesSelectTheEarlierRecord) {
    // Slot 5 repeats slot 1's ID; slot 6 repeats slot 2's names with an ID of
    // its own.
    db[5] = WithId(MakeRecord("SPI,Other,X25Q32", 4u << 20), 0xEF4016);
    db[6] = WithId(MakeRecord("SPI,Winbond,W25Q64"), 0xEF4099);
    ChipSelection boxes = BoxesAt(db, 0, 0, 0);

    auto out = DecideDetection(7, {1, 0xEF, 0x40, 0x16}, boxes, English);
    EXPECT_EQ(out.slot, 1);
    // The later record with the ID is named for the log, each name once.
    db[7] = WithId(MakeRecord("SPI,Third,X25Q32", 4u << 20), 0xEF4016);
    EXPECT_EQ(DecideDetection(7, {1, 0xEF, 0x40, 0x16}, boxes, English).othersLogText,
              "Other chips with this ID (choose one with Find): X25Q32");
    EXPECT_EQ(DecideDetection(7, {1, 0xEF, 0x40, 0x16}, boxes, TraditionalChinese).othersLogText,
              "同一ID的其他芯片（可用查找選擇）：X25Q32");
    EXPECT_EQ(DecideDetection(7, {1, 0xEF, 0x40, 0x17}, boxes, English).othersLogText, "");
    Apply(out, boxes);
    EXPECT_EQ(boxes.CurrentChipIndex(), 1);

    out = DecideDetection(7, {1, 0xEF, 0x40, 0x99}, boxes, English);
    EXPECT_EQ(out.result, DetectionResult::Identified);
    EXPECT_EQ(out.slot, 6);
    Apply(out, boxes);
    EXPECT_EQ(boxes.CurrentChipIndex(), 2) << "the boxes choose by name";
}

TEST_F(ChipDetectionTest, UnknownIdFallsBackToTheFirstTypeAndNamesTheBytes) {
    ChipSelection boxes = BoxesAt(db, 2, 0, 0);
    boxes.SelTypeIndex = 2;
    const auto out = DecideDetection(7, {1, 0xFF, 0xFF, 0xFF}, boxes, English);
    EXPECT_EQ(out.result, DetectionResult::UnknownId);
    EXPECT_EQ(out.selectCalls, (std::vector<SelectChipCall>{{0, 0, 0}}));
    EXPECT_FALSE(out.remember);
    EXPECT_EQ(out.errorText, Message(1, English) + "FF FF FF" + Message(2, English));
    EXPECT_EQ(out.errorText,
              "Unknown chip ID =FF FF FFPlease choose the compatibility type manually.");
    EXPECT_EQ(out.informationText, "");

    Apply(out, boxes);
    EXPECT_EQ(boxes.CurrentChipIndex(), 0);
    EXPECT_EQ(boxes.SelTypeIndex, 2) << "an unknown chip is not remembered";
    EXPECT_EQ(prompts.texts("error"), std::vector<std::string>{out.errorText});

    // Already at the first type: the selection stays as it was; small bytes
    // keep their two digits.
    boxes.SelectChip(0, 1, 1);
    const auto again = DecideDetection(7, {1, 0x0A, 0x00, 0xB1}, boxes, SimplifiedChinese);
    EXPECT_TRUE(again.selectCalls.empty());
    EXPECT_EQ(again.errorText, "未知型号芯片ID =0A 00 B1请手动选择兼容型号。");
}

TEST_F(ChipDetectionTest, OnlyRecordsBeforeTheFirstEmptySlotAreSearched) {
    db[10] = WithId(MakeRecord("SPI,Hidden,H25"), 0x123456);
    ChipSelection boxes = BoxesAt(db, 0, 0, 0);
    EXPECT_EQ(FindChipById(db, 0x123456), -1);
    EXPECT_EQ(DecideDetection(7, {1, 0x12, 0x34, 0x56}, boxes, English).result,
              DetectionResult::UnknownId);
    // The whole 32-bit ChipId is compared: a stray high byte never matches.
    db[0].ChipId = 0x01C84016;
    EXPECT_EQ(FindChipById(db, 0xC84016), -1);
    EXPECT_EQ(ReplyChipId({1, 0xC8, 0x40, 0x16}), 0xC84016u);
}

TEST_F(ChipDetectionTest, KindsTwoAndThreeChooseTypePositionsWithoutRemembering) {
    ChipSelection boxes = BoxesAt(db, 0, 0, 0);
    auto out = DecideDetection(7, {2, 0x12, 0x34, 0x56}, boxes, English);
    EXPECT_EQ(out.result, DetectionResult::TypeDetected);
    EXPECT_EQ(out.selectCalls, (std::vector<SelectChipCall>{{1, 0, 0}}));
    EXPECT_FALSE(out.remember);
    EXPECT_EQ(out.informationText, "Chip type is detected:24EE\n\n Please manually select the "
                                   "corresponding type burn.");
    Apply(out, boxes);
    EXPECT_EQ(boxes.CurrentChipIndex(), 3);
    EXPECT_EQ(boxes.SelTypeIndex, 0);

    // Already at position 1: only the box.
    out = DecideDetection(7, {2, 0, 0, 0}, boxes, English);
    EXPECT_TRUE(out.selectCalls.empty());
    EXPECT_NE(out.informationText, "");

    out = DecideDetection(7, {3, 0, 0, 0}, boxes, English);
    EXPECT_EQ(out.selectCalls, (std::vector<SelectChipCall>{{2, 0, 0}}));
    EXPECT_EQ(out.informationText, DetectedTypeText("93EE", English));
    Apply(out, boxes);
    EXPECT_EQ(boxes.CurrentChipIndex(), 4);
    EXPECT_EQ(prompts.texts("information").size(), 2u);
}

TEST_F(ChipDetectionTest, NoChipAndNoProgrammerLeaveTheSelection) {
    ChipSelection boxes = BoxesAt(db, 1, 0, 0);
    for (std::uint8_t kind : {0, 4, 0x80, 0xFF}) {
        const auto out = DecideDetection(7, {kind, 0xEF, 0x40, 0x16}, boxes, English);
        EXPECT_EQ(out.result, DetectionResult::NoChip) << int(kind);
        EXPECT_TRUE(out.selectCalls.empty());
        EXPECT_EQ(out.errorText, "No chips detected, please put the chip to try again!");
    }
    const auto none = DecideDetection(0, {1, 0xEF, 0x40, 0x16}, boxes, English);
    EXPECT_EQ(none.result, DetectionResult::NoProgrammer);
    EXPECT_TRUE(none.selectCalls.empty());
    EXPECT_EQ(none.errorText, "Not connected");
    EXPECT_EQ(DecideDetection(0, {}, boxes, SimplifiedChinese).errorText, "编程器未接入");

    Apply(none, boxes);
    EXPECT_EQ(boxes.CurrentChipIndex(), 3);
    EXPECT_EQ(prompts.texts("error"), std::vector<std::string>{"Not connected"});
}

TEST_F(ChipDetectionTest, EmptyDatabaseTreatsEveryIdAsUnknown) {
    ChipDatabase empty;
    ChipSelection boxes(&empty);
    const auto out = DecideDetection(7, {1, 0, 0, 0}, boxes, English);
    EXPECT_EQ(out.result, DetectionResult::UnknownId);
    EXPECT_EQ(out.selectCalls, (std::vector<SelectChipCall>{{0, 0, 0}}));
    // Kind 2 with no type at position 1 selects nothing and still informs.
    const auto typed = DecideDetection(7, {2, 0, 0, 0}, boxes, English);
    EXPECT_EQ(typed.informationText, DetectedTypeText("", English));
}

} // namespace

TEST_F(ChipDetectionTest, OneIdWithPartsOfTwoSizesIsAskedNeverChosen) {
    test::Fill(db, {
                       WithId(MakeRecord("SPI,Winbond,W77Q16JW", 2u << 20), 0xEF8A16),
                       WithId(MakeRecord("SPI,Winbond,W77Q32JW", 4u << 20), 0xEF8A16),
                       WithId(MakeRecord("SPI,Winbond,W77Q32JW-B", 4u << 20), 0xEF8A16),
                   });
    ChipSelection boxes = BoxesAt(db, 0, 0, 0);
    const auto out = DecideDetection(7, {1, 0xEF, 0x8A, 0x16}, boxes, English);
    EXPECT_EQ(out.result, DetectionResult::SizeAmbiguous);
    EXPECT_TRUE(out.selectCalls.empty());
    ASSERT_EQ(out.questions.size(), 2u); // one per size, the first part of each
    EXPECT_EQ(out.questions[1], "ID EF8A16 is answered by parts of different sizes: W77Q16JW "
                                "(2 MiB), W77Q32JW (4 MiB).\nIs the chip W77Q32JW (4 MiB)?");

    prompts.yesNoAnswers = {false, true};
    Apply(out, boxes);
    EXPECT_EQ(boxes.CurrentChip()->FlashSize, 4u << 20);
    EXPECT_EQ(prompts.texts("information").at(0).rfind("The chip was detected:W77Q32JW", 0), 0u);

    // No to both: nothing changes, and the user is told to choose by name.
    ChipSelection untouched = BoxesAt(db, 0, 0, 0);
    prompts.clear();
    Apply(out, untouched);
    EXPECT_EQ(untouched.CurrentChip()->FlashSize, 2u << 20);
    EXPECT_EQ(prompts.texts("information"),
              std::vector<std::string>{"ID EF8A16 is answered by parts of different sizes: "
                                       "W77Q16JW (2 MiB), W77Q32JW (4 MiB). Choose the chip by "
                                       "its name."});
}
