#include "buffer/BufferFill.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vantor;

namespace {

using Strings = std::vector<std::string>;

DataBuffer& SharedBuffer() {
    static DataBuffer buffer;
    return buffer;
}

class FillTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(buffer.data(), 0x55, 0x100);
        buffer.UsedLength = 3;
    }

    bool Run(const FillFields& fields, uint32_t seed = 0) {
        shown = 0;
        return RunFill(buffer, fields, seed, [&](const uint8_t* data, size_t count) {
            EXPECT_EQ(data, buffer.data());
            shown = count;
        });
    }

    RecordingPrompts prompts;
    ScopedPrompts scope{prompts};
    DataBuffer& buffer = SharedBuffer();
    size_t shown = 0;
};

FillFields Fields(FillKind kind, std::string start, std::string end) {
    FillFields f;
    f.kind = kind;
    f.startText = std::move(start);
    f.endText = std::move(end);
    return f;
}

} // namespace

TEST(FillRandomTest, GeneratorSequence) {
    FillRandom zero(0);
    EXPECT_EQ(zero.Next() & 0xFF, 0x5Au);
    EXPECT_EQ(zero.Next() & 0xFF, 0x82u);
    EXPECT_EQ(zero.Next() & 0xFF, 0xE6u);
    FillRandom other(1000);
    EXPECT_EQ(other.Next() & 0xFF, 0xEEu);
    EXPECT_EQ(other.Next() & 0xFF, 0xA3u);
}

TEST_F(FillTest, ByteFillOfARange) {
    FillFields f = Fields(FillKind::Byte, "0", "F");
    f.byteText = "A5";
    ASSERT_TRUE(Run(f));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(buffer[i], 0xA5);
    EXPECT_EQ(buffer[16], 0x55);
    EXPECT_EQ(buffer.UsedLength, 16);
    EXPECT_EQ(shown, 16u);
    EXPECT_TRUE(prompts.log.empty());
}

TEST_F(FillTest, WordFillStartsEvenAndCountsWholeWords) {
    FillFields f = Fields(FillKind::Word, "1", "4");
    f.wordText = "1234";
    ASSERT_TRUE(Run(f));
    const uint8_t expected[] = {0x34, 0x12, 0x34, 0x12, 0x55, 0x55};
    EXPECT_EQ(std::memcmp(buffer.data(), expected, sizeof expected), 0);
    EXPECT_EQ(buffer.UsedLength, 5);

    f = Fields(FillKind::Word, "20", "20");
    f.wordText = "ABCD";
    ASSERT_TRUE(Run(f));
    EXPECT_EQ(buffer[0x20], 0x55); // start = end: no whole word
    EXPECT_EQ(buffer.UsedLength, 0x21);
    EXPECT_EQ(shown, 0x21u);
}

TEST_F(FillTest, RandomFillIsTheClockSeededSequence) {
    ASSERT_TRUE(Run(Fields(FillKind::Random, "2", "4"), 0));
    EXPECT_EQ(buffer[1], 0x55);
    EXPECT_EQ(buffer[2], 0x5A);
    EXPECT_EQ(buffer[3], 0x82);
    EXPECT_EQ(buffer[4], 0xE6);
    EXPECT_EQ(buffer[5], 0x55);
    // Two fills within the same second give the same bytes.
    uint8_t first[64];
    ASSERT_TRUE(Run(Fields(FillKind::Random, "0", "3F"), 1700000000));
    std::memcpy(first, buffer.data(), 64);
    std::memset(buffer.data(), 0, 64);
    ASSERT_TRUE(Run(Fields(FillKind::Random, "0", "3F"), 1700000000));
    EXPECT_EQ(std::memcmp(first, buffer.data(), 64), 0);
}

TEST_F(FillTest, AllFieldsConvertedWhateverTheKind) {
    FillFields f = Fields(FillKind::Byte, "0", "F");
    f.wordText = "";
    EXPECT_FALSE(Run(f));
    EXPECT_EQ(prompts.texts("error"), Strings{"'0x' is not a valid integer value"});
    f.wordText = "FFFF";
    f.startText = "1Z";
    prompts.clear();
    EXPECT_FALSE(Run(f));
    EXPECT_EQ(prompts.texts("error"), Strings{"'0x1Z' is not a valid integer value"});
    EXPECT_EQ(buffer[0], 0x55);
    EXPECT_EQ(buffer.UsedLength, 3);
    EXPECT_EQ(shown, 0u);
}

TEST_F(FillTest, RangesOutsideTheBufferRefused) {
    SetCurrentLanguage(English);
    const std::pair<const char*, const char*> ranges[] = {
        {"10", "F"}, {"0", "4000000"}, {"0", "FFFFFFFF"}, {"4000000", "4000000"}};
    for (auto [start, end] : ranges) {
        for (FillKind kind : {FillKind::Byte, FillKind::Word, FillKind::Random}) {
            prompts.clear();
            EXPECT_FALSE(Run(Fields(kind, start, end))) << start << ".." << end;
            EXPECT_EQ(prompts.texts("error"), Strings{FillRangeMessage(English)});
        }
    }
    SetCurrentLanguage(SimplifiedChinese);
    EXPECT_EQ(buffer[0], 0x55);
    EXPECT_EQ(buffer.UsedLength, 3);
    EXPECT_EQ(shown, 0u);
    EXPECT_NE(FillRangeMessage(SimplifiedChinese), FillRangeMessage(English));
}

TEST_F(FillTest, LastBufferByteReachable) {
    FillFields f = Fields(FillKind::Word, "3FFFFFE", "3FFFFFF");
    f.wordText = "BEEF";
    ASSERT_TRUE(Run(f));
    EXPECT_EQ(buffer[0x3FFFFFE], 0xEF);
    EXPECT_EQ(buffer[0x3FFFFFF], 0xBE);
    EXPECT_EQ(buffer.UsedLength, 0x4000000);
    EXPECT_EQ(shown, 0x4000000u);
    // The tail past the image is never written by a fill.
    EXPECT_EQ(buffer.data()[DataBufferSize], 0xFF);
}

TEST_F(FillTest, FillInsideALongerImageKeepsItsLength) {
    // An opened 4 KiB image with a patch filled into its middle: Write and
    // Save must still take all 4 KiB.
    buffer.UsedLength = 0x1000;
    FillFields f = Fields(FillKind::Byte, "10", "1F");
    f.byteText = "00";
    ASSERT_TRUE(Run(f));
    EXPECT_EQ(buffer.UsedLength, 0x1000);
    EXPECT_EQ(shown, 0x1000u);
    EXPECT_EQ(buffer[0x10], 0x00);
    EXPECT_EQ(buffer[0x20], 0x55);
}
