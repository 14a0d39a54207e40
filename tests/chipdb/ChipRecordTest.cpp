#include "chipdb/ChipRecord.h"
#include "chipdb/GbkText.h"
#include "core/MessageTable.h"
#include "tests/chipdb/ChipTestUtil.h"

#include <gtest/gtest.h>

using namespace vantor;
using vantor::test::MakeRecord;

namespace {

ChipRecord DistinctFields() {
    ChipRecord r = MakeRecord("T,M,N");
    r.ChipId = 0xEF4016;
    r.FlashSize = 0x04030201;
    r.FlashPage = 0x0605;
    r.Family = 0x07;
    r.SubType = 0x08;
    r.Delay = 0x0A09;
    r.XmlLink = 0x0C0B;
    r.EepromSize = 0x0E0D;
    r.EepromPage = 0x0F;
    r.Voltage = 0x10;
    return r;
}

} // namespace

TEST(ChipRecord, EveryFieldSitsAtItsOffsetLittleEndian) {
    static_assert(kChipRecordSize == 68);
    const auto b = EncodeChipRecord(DistinctFields());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 6), std::string("T,M,N\0", 6));
    // ChipId built from the ID bytes EF 40 16 is stored as 16 40 EF 00.
    EXPECT_EQ(b[48], 0x16);
    EXPECT_EQ(b[49], 0x40);
    EXPECT_EQ(b[50], 0xEF);
    EXPECT_EQ(b[51], 0x00);
    EXPECT_EQ((std::array<int, 4>{b[52], b[53], b[54], b[55]}),
              (std::array<int, 4>{0x01, 0x02, 0x03, 0x04})); // FlashSize
    EXPECT_EQ(b[56], 0x05);                                  // FlashPage
    EXPECT_EQ(b[57], 0x06);
    EXPECT_EQ(b[58], 0x07); // Family
    EXPECT_EQ(b[59], 0x08); // SubType
    EXPECT_EQ(b[60], 0x09); // Delay
    EXPECT_EQ(b[61], 0x0A);
    EXPECT_EQ(b[62], 0x0B); // XmlLink
    EXPECT_EQ(b[63], 0x0C);
    EXPECT_EQ(b[64], 0x0D); // EepromSize
    EXPECT_EQ(b[65], 0x0E);
    EXPECT_EQ(b[66], 0x0F); // EepromPage
    EXPECT_EQ(b[67], 0x10); // Voltage
}

TEST(ChipRecord, DecodeIsTheInverseOfEncodeIncludingBytesAfterTheTerminator) {
    ChipRecord r = DistinctFields();
    r.NameText[40] = 0xAB; // meaningless byte past the zero: kept as it is
    r.NameText[47] = 0xCD;
    const auto bytes = EncodeChipRecord(r);
    EXPECT_EQ(DecodeChipRecord(bytes.data()), r);
    EXPECT_EQ(NameTextBytes(r), "T,M,N");
}

TEST(ChipRecord, NameTextWithoutZeroReadsAsItsFirst47Bytes) {
    ChipRecord r;
    r.NameText.fill('A');
    EXPECT_EQ(NameTextBytes(r).size(), 47u);
    EXPECT_EQ(NameTextUtf8(r), std::string(47, 'A'));
}

TEST(ChipRecord, SetNameTextStoresGbkAndRefusesWhatDoesNotFit) {
    ChipRecord r;
    r.NameText.fill(0x77);
    ASSERT_TRUE(SetNameText(r, "类型,厂商,W25Q32"));
    // 4 + 1 + 4 + 1 + 6 GBK bytes, a zero, and the old bytes after it.
    EXPECT_EQ(NameTextBytes(r).size(), 16u);
    EXPECT_EQ(r.NameText[16], 0);
    EXPECT_EQ(r.NameText[17], 0x77);
    EXPECT_EQ(NameTextUtf8(r), "类型,厂商,W25Q32");

    std::string why;
    EXPECT_TRUE(SetNameText(r, std::string(47, 'x')));
    EXPECT_FALSE(SetNameText(r, std::string(48, 'x'), &why));
    EXPECT_NE(why.find("47"), std::string::npos);
    // 23 Chinese characters are 46 GBK bytes (69 in UTF-8): they fit; 24 do not.
    std::string chinese;
    for (int i = 0; i < 23; ++i)
        chinese += "芯";
    EXPECT_TRUE(SetNameText(r, chinese));
    EXPECT_FALSE(SetNameText(r, chinese + "芯"));
    EXPECT_EQ(NameTextUtf8(r), chinese); // the refused text left the record alone
    EXPECT_FALSE(SetNameText(r, "A,B,\xF0\x9F\x98\x80", &why)); // no GBK form
}

TEST(GbkText, InvalidBytesBecomeReplacementCharactersAndDecodingGoesOn) {
    EXPECT_EQ(GbkToUtf8("\xD0\xBE\xC6\xAC"), "芯片");
    EXPECT_EQ(GbkToUtf8("A\xFF"
                        "B"),
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(GbkToUtf8("AB\xD0"), "AB\xEF\xBF\xBD"); // cut-off character at the end
    std::string gbk;
    EXPECT_TRUE(Utf8ToGbk("芯片", &gbk));
    EXPECT_EQ(gbk, "\xD0\xBE\xC6\xAC");
    EXPECT_FALSE(Utf8ToGbk("\xC3", &gbk)); // broken UTF-8
}

TEST(ChipRecord, UsableOnlyWithinTheBufferAndWithAPageThatIsAPowerOfTwo) {
    ChipRecord r = MakeRecord("A,B,C", kMaxFlashSize, 256);
    EXPECT_TRUE(ChipRecordIsUsable(r));
    std::string why;
    r.FlashSize = kMaxFlashSize + 1;
    EXPECT_FALSE(ChipRecordIsUsable(r, &why));
    EXPECT_NE(why.find("64 MiB"), std::string::npos);
    r.FlashSize = 1024;
    for (std::uint16_t page : {0, 3, 257, 512, 0xFFFF}) {
        r.FlashPage = page;
        EXPECT_FALSE(ChipRecordIsUsable(r, &why)) << page;
    }
    for (std::uint16_t page : {1, 2, 64, 256}) {
        r.FlashPage = page;
        EXPECT_TRUE(ChipRecordIsUsable(r)) << page;
    }
}

TEST(ChipRecord, CodesOutsideTheirTablesAndSizeZeroAreNamedByField) {
    const struct {
        std::uint8_t family, subType, voltage;
        std::uint32_t size;
        const char* field; // empty: usable
    } cases[] = {
        {0, 1, 2, 1024, ""},          {5, 0, 0, 1024, "(Family)"},   {255, 0, 0, 1024, "(Family)"},
        {0, 2, 0, 1024, "(SubType)"}, {1, 2, 0, 1024, "(SubType)"},  {2, 7, 0, 1024, ""},
        {2, 91, 0, 1024, ""},         {2, 12, 0, 1024, "(SubType)"}, {2, 86, 0, 1024, "(SubType)"},
        {3, 2, 0, 1024, ""},          {4, 3, 0, 1024, "(SubType)"},  {0, 0, 3, 1024, "(Voltage)"},
        {0, 0, 0, 0, "(FLASH)"},
    };
    SetCurrentLanguage(English);
    for (const auto& c : cases) {
        ChipRecord r = MakeRecord("A,B,C", c.size, 1);
        r.Family = c.family;
        r.SubType = c.subType;
        r.Voltage = c.voltage;
        std::string why;
        EXPECT_EQ(ChipRecordIsUsable(r, &why), *c.field == 0)
            << int(c.family) << "/" << int(c.subType);
        if (*c.field) {
            EXPECT_NE(why.find(c.field), std::string::npos) << why;
        }
    }
}

TEST(ChipRecord, CapacityStepIsTheLowestSetBitFrom64Bytes) {
    EXPECT_EQ(CapacityStepIndex(3 * 1024), 4); // "1KB"
    EXPECT_STREQ(CapacityStepTexts()[4], "1KB");
    EXPECT_EQ(CapacityStepIndex(64), 0);
    EXPECT_EQ(CapacityStepIndex(63), -1);
    EXPECT_EQ(CapacityStepIndex(0), -1);
    EXPECT_EQ(CapacityStepIndex(64u << 20), 20);
    EXPECT_EQ(CapacityStepIndex(128u << 20), -1); // bit 27 is past the last step
}

TEST(ChipDatabase, AnEmptySlotHidesEveryRecordAfterIt) {
    ChipDatabase db;
    EXPECT_EQ(db.RecordCount(), 0);
    test::Fill(db, {MakeRecord("A,X,1"), MakeRecord("A,X,2"), MakeRecord(""), MakeRecord("A,X,4")});
    EXPECT_EQ(db.RecordCount(), 2);
    for (int i = 0; i < kChipSlots; ++i)
        db[i] = MakeRecord("A,X," + std::to_string(i));
    EXPECT_EQ(db.RecordCount(), kChipSlots);
    EXPECT_THROW(db[kChipSlots], std::out_of_range);
}

TEST(ChipDatabase, ImageRoundTripsAndLoadKeepsSlotsPastTheEnd) {
    ChipDatabase a;
    test::Fill(a, {MakeRecord("A,X,1"), MakeRecord("B,Y,2"), MakeRecord("C,Z,3")});
    const std::string image = a.Image(2);
    ASSERT_EQ(image.size(), 2 * kChipRecordSize);

    ChipDatabase b;
    test::Fill(b, {MakeRecord("old0"), MakeRecord("old1"), MakeRecord("old2")});
    b.LoadImage(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
    EXPECT_EQ(b[0], a[0]);
    EXPECT_EQ(b[1], a[1]);
    EXPECT_EQ(NameTextBytes(b[2]), "old2");

    ChipRecord t = MakeRecord("A,X,1");
    t.NameText[30] = 5;
    t.ChipId = 9;
    MarkTerminator(t);
    EXPECT_TRUE(NameTextEmpty(t));
    EXPECT_EQ(t.NameText[30], 5); // past the first 20 bytes: kept
    EXPECT_EQ(t.ChipId, 9u);
}
