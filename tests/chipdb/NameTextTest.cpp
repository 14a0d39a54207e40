#include "chipdb/NameText.h"

#include <gtest/gtest.h>

using vantor::SplitNameText;
using Fields = std::vector<std::string>;

TEST(SplitNameText, CommasAndBlanksBothEndAField) {
    EXPECT_EQ(SplitNameText("SPI,Winbond,W25Q32"), (Fields{"SPI", "Winbond", "W25Q32"}));
    EXPECT_EQ(SplitNameText("  A , B ,\tC  "), (Fields{"A", "B", "C"}));
    // A type name of two words becomes two fields and moves the rest up.
    EXPECT_EQ(SplitNameText("SPI FLASH,Winbond,W25Q32"),
              (Fields{"SPI", "FLASH", "Winbond", "W25Q32"}));
    EXPECT_EQ(SplitNameText("A\x01\x1F"
                            "B"),
              (Fields{"A", "B"}));
    EXPECT_EQ(SplitNameText(""), Fields{});
    EXPECT_EQ(SplitNameText("   "), Fields{});
}

TEST(SplitNameText, EmptyFieldsAndTheTrailingComma) {
    EXPECT_EQ(SplitNameText("A,,C"), (Fields{"A", "", "C"}));
    EXPECT_EQ(SplitNameText(",B"), (Fields{"", "B"}));
    EXPECT_EQ(SplitNameText("A,B,"), (Fields{"A", "B", ""}));
    // Only a comma that is the very last byte adds the empty field.
    EXPECT_EQ(SplitNameText("A,B, "), (Fields{"A", "B"}));
}

TEST(SplitNameText, QuotedFieldsKeepBlanksAndCommas) {
    EXPECT_EQ(SplitNameText("\"SPI FLASH\",\"a,b\",\"x\"\"y\""),
              (Fields{"SPI FLASH", "a,b", "x\"y"}));
    EXPECT_EQ(SplitNameText("\"\",B"), (Fields{"", "B"}));
    EXPECT_EQ(SplitNameText("\"ab\"cd,E"), (Fields{"ab", "cd", "E"}));
    EXPECT_EQ(SplitNameText("\"open"), (Fields{"open"})); // no closing quote
}

TEST(SplitNameText, HighBytesBelongToTheFieldAndAZeroEndsTheText) {
    EXPECT_EQ(SplitNameText("类型,厂商,芯片"), (Fields{"类型", "厂商", "芯片"}));
    EXPECT_EQ(SplitNameText("\xB0\xA1,\xFE\x40"), (Fields{"\xB0\xA1", "\xFE\x40"}));
    EXPECT_EQ(SplitNameText(std::string_view("A,B\0,C", 6)), (Fields{"A", "B"}));
}

TEST(NameText, TrimAndCaseInsensitiveEquality) {
    EXPECT_EQ(vantor::TrimBlanks(" \t A B \r\n"), "A B");
    EXPECT_EQ(vantor::TrimmedField({" A "}, 0), "A");
    EXPECT_EQ(vantor::TrimmedField({"A"}, 2), "");
    EXPECT_TRUE(vantor::EqualsIgnoreCase("W25q32", "w25Q32"));
    EXPECT_FALSE(vantor::EqualsIgnoreCase("W25Q32", "W25Q3"));
    EXPECT_FALSE(vantor::EqualsIgnoreCase("芯", "片"));
}
