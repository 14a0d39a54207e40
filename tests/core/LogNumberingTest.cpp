#include "core/LogNumbering.h"

#include <gtest/gtest.h>

TEST(LogNumbering, ThreeDigitsThenAsManyAsNeeded) {
    vantor::LogNumbering log;
    EXPECT_EQ(log.NextLogPrefix(), "001:");
    for (int i = 2; i < 10; ++i)
        log.NextLogPrefix();
    EXPECT_EQ(log.NextLogPrefix(), "010:");
    for (int i = 11; i < 100; ++i)
        log.NextLogPrefix();
    EXPECT_EQ(log.NextLogPrefix(), "100:");
    for (int i = 101; i < 1000; ++i)
        log.NextLogPrefix();
    EXPECT_EQ(log.NextLogPrefix(), "1000:");
    EXPECT_EQ(log.counter(), 1001);
}
