#include "chipdb/ChipSelection.h"
#include "tests/chipdb/ChipTestUtil.h"

#include <gtest/gtest.h>

using namespace vantor;
using vantor::test::MakeRecord;
using Items = std::vector<std::string>;

namespace {

class SelectionTest : public ::testing::Test {
protected:
    ChipDatabase db;
    ChipSelection sel{&db};
    int refreshes = 0;
    void SetUp() override {
        sel.setRefreshHexView([this] { ++refreshes; });
    }

    std::vector<int> Slots(const std::vector<ChipListRow>& rows) {
        std::vector<int> out;
        for (const auto& r : rows)
            out.push_back(r.slot);
        return out;
    }
};

} // namespace

TEST_F(SelectionTest, CascadeListsInFileOrderAndChoosesByNamePosition) {
    test::Fill(db, {MakeRecord("A,X,1", 1024, 16), MakeRecord("B,Y,2"), MakeRecord("A,Z,3"),
                    MakeRecord("A,X,4", 4096, 32)});
    sel.SelectChip(0, 0, 1);
    EXPECT_EQ(sel.typeBox().items(), (Items{"A", "B"}));
    EXPECT_EQ(sel.makerBox().items(), (Items{"X", "Z"}));
    EXPECT_EQ(sel.nameBox().items(), (Items{"1", "4"}));
    EXPECT_EQ(sel.CurrentChipIndex(), 3);
    EXPECT_EQ(sel.Edit1Text(), "4096");
    EXPECT_EQ(sel.Edit2Text(), "32");
    EXPECT_EQ(sel.SizeStepIndex(), 6); // "4KB"
    EXPECT_EQ(sel.typeBox().text(), "A");
    EXPECT_EQ(sel.makerBox().text(), "X");
    EXPECT_EQ(sel.nameBox().text(), "4");
    EXPECT_EQ(refreshes, 1);

    sel.SelectChip(0, 1, 0);
    EXPECT_EQ(sel.nameBox().items(), Items{"3"});
    EXPECT_EQ(sel.CurrentChipIndex(), 2);
    sel.SelectChip(1, 0, 0);
    EXPECT_EQ(sel.makerBox().items(), Items{"Y"});
    EXPECT_EQ(sel.CurrentChipIndex(), 1);
}

TEST_F(SelectionTest, ListingIgnoresCaseButMembershipIsByteExact) {
    // N and n: the name box lists N only; n can never be chosen.
    test::Fill(db, {MakeRecord("A,X,N"), MakeRecord("A,X,n"), MakeRecord("a,Y,2")});
    sel.SelectChip(0, 0, 1);
    EXPECT_EQ(sel.nameBox().items(), Items{"N"});
    EXPECT_EQ(sel.CurrentChipIndex(), 0);
    EXPECT_EQ(sel.nameBox().selected(), -1);
    // A and a: the type box lists A only, and type a never equals A.
    EXPECT_EQ(sel.typeBox().items(), Items{"A"});
    EXPECT_EQ(sel.makerBox().items(), Items{"X"});
    EXPECT_EQ(sel.typeBox().find("a"), 0);
    EXPECT_EQ(sel.nameBox().find("n"), 0);
    EXPECT_EQ(sel.nameBox().find("m"), -1);
}

TEST_F(SelectionTest, RecordsWithoutAManufacturerAreReachedOnlyWithoutAManufacturerItem) {
    test::Fill(db, {MakeRecord("A,,1"), MakeRecord("A,X,2"), MakeRecord("A, ,3")});
    // Slot 0 is met while the emptied manufacturer box has no item 0 yet.
    sel.SelectChip(0, 0, 0);
    EXPECT_EQ(sel.makerBox().items(), Items{"X"});
    EXPECT_EQ(sel.nameBox().items(), (Items{"1", "2"}));
    EXPECT_EQ(sel.CurrentChipIndex(), 0);
    sel.SelectChip(0, 0, 1);
    EXPECT_EQ(sel.CurrentChipIndex(), 1);
    sel.SelectChip(0, 5, 1); // no manufacturer item at 5: the empty name matches
    EXPECT_EQ(sel.nameBox().items(), (Items{"1", "3"}));
    EXPECT_EQ(sel.CurrentChipIndex(), 2);
}

TEST_F(SelectionTest, PositionsPastTheEndKeepThePreviousRecordAndStillRefresh) {
    test::Fill(db, {MakeRecord("A,X,1", 2048), MakeRecord("A,X,2", 8192), MakeRecord("B,Y,3")});
    sel.SelectChip(0, 0, 1);
    ASSERT_EQ(sel.CurrentChipIndex(), 1);
    for (auto [t, m, n] : {std::tuple{0, 0, 7}, {0, 3, 0}, {9, 0, 0}, {-1, -1, -1}}) {
        sel.SelectChip(t, m, n);
        EXPECT_EQ(sel.CurrentChipIndex(), 1);
        EXPECT_FALSE(sel.LastSelectChose());
    }
    EXPECT_EQ(sel.Edit1Text(), "8192");
    EXPECT_EQ(refreshes, 5);
    // The name box is filled but nothing is selected; its text stays.
    sel.SelectChip(0, 0, 7);
    EXPECT_EQ(sel.nameBox().items(), (Items{"1", "2"}));
    EXPECT_EQ(sel.nameBox().selected(), -1);
    EXPECT_EQ(sel.nameBox().text(), "2");
    EXPECT_EQ(sel.typeBox().items(), (Items{"A", "B"})); // never emptied
}

TEST_F(SelectionTest, CapacityBelow64BytesLeavesTheStepBox) {
    test::Fill(db, {MakeRecord("A,X,1", 3 * 1024), MakeRecord("A,X,2", 32)});
    sel.SelectChip(0, 0, 0);
    EXPECT_EQ(sel.SizeStepIndex(), 4); // "1KB"
    sel.SelectChip(0, 0, 1);
    EXPECT_EQ(sel.Edit1Text(), "32");
    EXPECT_EQ(sel.SizeStepIndex(), 4);
}

TEST_F(SelectionTest, WithoutDatabaseOrRecordsNothingIsChosen) {
    ChipSelection none(nullptr);
    none.SelectChip(0, 0, 0);
    EXPECT_EQ(none.typeBox().count(), 0);
    EXPECT_EQ(none.CurrentChip(), nullptr);
    sel.SelectChip(0, 0, 0);
    EXPECT_EQ(sel.CurrentChipIndex(), 0);
    EXPECT_FALSE(sel.LastSelectChose());
    EXPECT_EQ(refreshes, 1);
}

TEST_F(SelectionTest, ShortRecordsAndQuotedNames) {
    // Fewer than three fields: the missing ones read as empty; an empty chip
    // name is never listed.
    test::Fill(db, {MakeRecord("A"), MakeRecord("A,X"), MakeRecord("\" A \",\"X\",\"W 1\"")});
    sel.SelectChip(0, 0, 0);
    EXPECT_EQ(sel.typeBox().items(), Items{"A"});
    EXPECT_EQ(sel.nameBox().items(), Items{"W 1"});
    EXPECT_EQ(sel.CurrentChipIndex(), 2);
}

TEST_F(SelectionTest, TypeBoxKeepsTypesOfAnEarlierDatabase) {
    test::Fill(db, {MakeRecord("A,X,1"), MakeRecord("B,Y,2")});
    sel.SelectChip(0, 0, 0);
    db.Clear();
    test::Fill(db, {MakeRecord("C,Z,3")});
    sel.SelectChip(2, 0, 0);
    EXPECT_EQ(sel.typeBox().items(), (Items{"A", "B", "C"}));
    EXPECT_EQ(sel.CurrentChipIndex(), 0);
    EXPECT_EQ(sel.nameBox().text(), "3");
}

TEST_F(SelectionTest, BoxHandlersResetTheBoxesBelowAndRememberThePositions) {
    test::Fill(db, {MakeRecord("A,X,1"), MakeRecord("A,X,2"), MakeRecord("A,Z,3"),
                    MakeRecord("B,Y,4"), MakeRecord("B,W,5")});
    sel.SelectChip(0, 0, 1);
    sel.ComboBox2Change(1);
    EXPECT_EQ((std::array{sel.SelTypeIndex, sel.SelMakerIndex, sel.SelNameIndex}),
              (std::array{0, 1, 0}));
    EXPECT_EQ(sel.CurrentChipIndex(), 2);
    sel.ComboBox1Change(1);
    EXPECT_EQ((std::array{sel.SelTypeIndex, sel.SelMakerIndex, sel.SelNameIndex}),
              (std::array{1, 0, 0}));
    EXPECT_EQ(sel.CurrentChipIndex(), 3);
    sel.ComboBox2Change(1);
    EXPECT_EQ(sel.CurrentChipIndex(), 4);
    sel.ComboBox3Change(0);
    EXPECT_EQ(sel.SelNameIndex, 0);
    EXPECT_EQ(sel.CurrentChipIndex(), 4);
}

TEST_F(SelectionTest, ChineseNamesAreListedAsUtf8AndComparedExactly) {
    ChipRecord a, b;
    ASSERT_TRUE(SetNameText(a, "闪存,华邦,W25Q32"));
    ASSERT_TRUE(SetNameText(b, "闪存,兆易,GD25Q32"));
    a.FlashSize = b.FlashSize = 4u << 20;
    test::Fill(db, {a, b});
    sel.SelectChip(0, 1, 0);
    EXPECT_EQ(sel.typeBox().items(), Items{"闪存"});
    EXPECT_EQ(sel.makerBox().items(), (Items{"华邦", "兆易"}));
    EXPECT_EQ(sel.CurrentChipIndex(), 1);
    EXPECT_EQ(Slots(FindChips(db, "兆易")), std::vector<int>{1});
    EXPECT_EQ(ListAllChips(db)[0], (ChipListRow{"闪存", "华邦", "W25Q32", 0}));
}

TEST_F(SelectionTest, FindMatchesContiguousBytesCaseSensitivelyInSlotOrder) {
    test::Fill(db, {MakeRecord("SPI,Winbond,W25Q32"), MakeRecord("SPI,GD,GD25Q32"),
                    MakeRecord("SPI,Winbond,W25Q64"), MakeRecord("24,Atmel,AT24C02"),
                    MakeRecord(""), MakeRecord("SPI,Hidden,W25Q128")});
    EXPECT_EQ(Slots(FindChips(db, "Q32")), (std::vector<int>{0, 1}));
    EXPECT_EQ(Slots(FindChips(db, "  W25Q ")), (std::vector<int>{0, 2})); // trimmed
    EXPECT_EQ(Slots(FindChips(db, ",")), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Slots(FindChips(db, "I,W")), (std::vector<int>{0, 2})); // across the comma
    EXPECT_TRUE(FindChips(db, "w25q").empty());
    EXPECT_TRUE(FindChips(db, "").empty());
    EXPECT_TRUE(FindChips(db, "   ").empty());
    EXPECT_EQ(Slots(ListAllChips(db)), (std::vector<int>{0, 1, 2, 3}));
    const auto rows = FindChips(db, "AT24");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (ChipListRow{"24", "Atmel", "AT24C02", 3}));
}

TEST_F(SelectionTest, SelectByNamesNeedsItsThreePassesAndPicksTheFirstOfEqualNames) {
    test::Fill(db, {MakeRecord("A,X,1"), MakeRecord("B,Y,2"), MakeRecord("B,Z,3"),
                    MakeRecord("B,Z,3"), MakeRecord("B,Z,n"), MakeRecord("B,Z,N")});
    sel.SelectChip(0, 0, 0);
    int calls = 0;
    auto select = [&](int t, int m, int n) {
        ++calls;
        sel.SelectChip(t, m, n);
    };
    SelectByNames(sel, ChipListRow{"B", "Z", "3", 3}, select);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(sel.CurrentChipIndex(), 2); // the first record with these names
    EXPECT_EQ(sel.nameBox().text(), "3");

    SelectByNames(sel, ChipListRow{"B", "Z", "N", 5}, select);
    EXPECT_EQ(sel.CurrentChipIndex(), 4); // "N" finds "n", listed first

    // Choosing through the find dialog leaves the remembered positions alone.
    EXPECT_EQ((std::array{sel.SelTypeIndex, sel.SelMakerIndex, sel.SelNameIndex}),
              (std::array{0, 0, 0}));
}
