#include "core/IntegerValue.h"

#include <gtest/gtest.h>

using namespace vantor;

TEST(IntegerRule, AcceptedForms) {
    EXPECT_EQ(ParseIntegerValue("123"), 123);
    EXPECT_EQ(ParseIntegerValue("   -42"), -42);
    EXPECT_EQ(ParseIntegerValue("+7"), 7);
    EXPECT_EQ(ParseIntegerValue("$1f"), 0x1F);
    EXPECT_EQ(ParseIntegerValue("x10"), 16);
    EXPECT_EQ(ParseIntegerValue("X10"), 16);
    EXPECT_EQ(ParseIntegerValue("0x3FFFFFF"), 0x3FFFFFF);
    EXPECT_EQ(ParseIntegerValue("0XFFFFFFFF"), 0xFFFFFFFF);
    EXPECT_EQ(ParseIntegerValue("-$10"), -16);
    EXPECT_EQ(ParseIntegerValue("2147483647"), 2147483647);
    EXPECT_EQ(ParseIntegerValue("-2147483648"), -2147483648LL);
    EXPECT_EQ(ParseIntegerValue("0x0000000000FF"), 0xFF); // leading zeros do not overflow
}

TEST(IntegerRule, RefusedForms) {
    for (const char* text : {"", " ", "0x", "$", "-", "12a", "1 ", "0x1G", "0x0x10", "0x-5",
                             "2147483648", "-2147483649", "0x100000000", "\t5", "1.5"})
        EXPECT_FALSE(ParseIntegerValue(text).has_value()) << '"' << text << '"';
    EXPECT_EQ(InvalidIntegerMessage("0x"), "'0x' is not a valid integer value");
}
