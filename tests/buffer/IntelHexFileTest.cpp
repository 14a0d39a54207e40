#include "buffer/IntelHexFile.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "tests/buffer/BufferTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vantor;
using vantor::test::ReadFile;
using vantor::test::TempDir;

namespace {

using Strings = std::vector<std::string>;

class IntelHexTest : public ::testing::Test {
protected:
    RecordingPrompts prompts;
    ScopedPrompts scope{prompts};
    std::vector<uint8_t> target = std::vector<uint8_t>(0x1000, 0x55);

    int32_t Read(const std::string& text, uint32_t size = 0x1000) {
        return IntelHexFile().ReadText(text, target.data(), size);
    }
    Strings Messages() const { return test::WithoutLines(prompts.texts("file")); }
};

std::string Written(const std::vector<uint8_t>& image) {
    TempDir dir;
    std::string path = dir.file("out.hex");
    EXPECT_TRUE(IntelHexFile().Write(path, image.data(), static_cast<uint32_t>(image.size())));
    return ReadFile(path);
}

} // namespace

TEST(IntelHexFormat, HexFieldsAreUpperCaseMostSignificantFirst) {
    EXPECT_EQ(RecordFile::FormatHexField(0xABCDEF, 6), "ABCDEF");
    EXPECT_EQ(RecordFile::FormatHexField(0x1F, 4), "001F");
    EXPECT_EQ(RecordFile::FormatHexField(0x123, 2), "23");
}

TEST(IntelHexWriter, SmallImageExactText) {
    std::vector<uint8_t> image(40);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(Written(image),
              ":20000000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FF0\r\n"
              ":080020002021222324252627BC\r\n"
              ":00000001FF\r\n");
}

TEST(IntelHexWriter, WindowRecordAtEvery64KiBAndErasedRecordsLeftOut) {
    std::vector<uint8_t> image(0x30000, 0xFF);
    image[0x10005] = 0x00;
    std::string text = Written(image);
    // The window records come even for the window without data (0002).
    std::string ff(2, 'F');
    std::string record = ":20000000";
    for (int i = 0; i < 32; ++i)
        record += i == 5 ? "00" : ff;
    record += "FF\r\n"; // 0x20 + 31 * 0xFF = 0x1F01
    EXPECT_EQ(text, ":020000040001F9\r\n" + record + ":020000040002F8\r\n:00000001FF\r\n");
}

TEST(IntelHexWriter, ErasedImages) {
    EXPECT_EQ(Written(std::vector<uint8_t>(0x10000, 0xFF)), ":00000001FF\r\n");
    std::string expected;
    for (int w = 1; w <= 15; ++w) {
        uint8_t cs = static_cast<uint8_t>(0x100 - ((6 + w) & 0xFF));
        expected += ":0200000400" + RecordFile::FormatHexField(w, 2) +
                    RecordFile::FormatHexField(cs, 2) + "\r\n";
    }
    expected += ":00000001FF\r\n";
    EXPECT_EQ(Written(std::vector<uint8_t>(0x100000, 0xFF)), expected);
    EXPECT_EQ(Written({}), ":00000001FF\r\n");
}

TEST(IntelHexWriter, CannotCreate) {
    uint8_t b = 0;
    EXPECT_FALSE(IntelHexFile().Write("/nonexistent-folder/x.hex", &b, 1));
}

TEST_F(IntelHexTest, OnlyEndRecordLoadsNothing) {
    EXPECT_EQ(Read(":00000001FF\r\n"), 0);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_EQ(target[0], 0x55);
}

TEST_F(IntelHexTest, RecordsInAnyOrderLowerCaseAndLineEnds) {
    // LF and CR LF lines, lower-case digits, blank lines and trailing blanks
    // skipped; the end record ends the file, and what follows is named.
    std::string text = ":0400100001020304E2\n\n"
                       ":02000000abcd86 \t\r\n"
                       ":00000001ff\r\n"
                       "this is never read\n";
    EXPECT_EQ(Read(text), 0x14);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(prompts.texts("information"), Strings{FormatMessage(Own::NotReadAfterEnd, {"4"})});
    EXPECT_EQ(target[0], 0xAB);
    EXPECT_EQ(target[1], 0xCD);
    EXPECT_EQ(target[2], 0x55); // gap keeps its content
    EXPECT_EQ(target[0x10], 0x01);
    EXPECT_EQ(target[0x13], 0x04);
}

TEST_F(IntelHexTest, TheLastSegmentOrLinearRecordSetsTheBase) {
    // Segment 0010 (0x100) plus offset 0002; a later linear record replaces
    // the segment, as srec_cat and intelhex read it.
    std::string text =
        ":020000020010EC\n:0100020042BB\n:020000040000FA\n:0100030043B9\n:00000001FF\n";
    EXPECT_EQ(Read(text), 0x103);
    EXPECT_EQ(target[0x102], 0x42);
    EXPECT_EQ(target[0x3], 0x43);
}

TEST_F(IntelHexTest, StartAddressRecordsLoadNothingButAreChecked) {
    EXPECT_EQ(Read(":0400000300001234B3\n:04000005000000CD2A\n:0100000011EE\n:00000001FF\n"), 1);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_EQ(Read(":0400000300001234AA\n:00000001FF\n"), 0);
    EXPECT_EQ(Read(":03000005000000CD\n:00000001FF\n"), 0);
    EXPECT_EQ(Messages(), (Strings{"Checksum Error", "Invalid Record Length for type 5"}));
}

TEST_F(IntelHexTest, RecordEndingAtTheBufferEndAcceptedOneFurtherRefused) {
    EXPECT_EQ(Read(":020FFE00AABB8C\n:00000001FF\n"), 0x1000);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_EQ(Read(":020FFF00AABB8B\n:00000001FF\n"), 0);
    EXPECT_EQ(Messages(), Strings{"File exceeds Maximum Size"});
}

TEST(IntelHexReader, RecordEndingExactlyAt64MiB) {
    RecordingPrompts prompts;
    ScopedPrompts scope(prompts);
    std::vector<uint8_t> big(0x4000000, 0xFF);
    std::string head = ":020000040400F6\n"; // window 0x4000000
    std::string lastWindow = ":0200000403FFF8\n";
    EXPECT_EQ(IntelHexFile().ReadText(lastWindow + ":02FFFE001234BB\n:00000001FF\n", big.data(),
                                      static_cast<uint32_t>(big.size())),
              0x4000000);
    EXPECT_EQ(big[0x3FFFFFE], 0x12);
    EXPECT_EQ(big[0x3FFFFFF], 0x34);
    EXPECT_EQ(IntelHexFile().ReadText(head + ":0100000012ED\n:00000001FF\n", big.data(),
                                      static_cast<uint32_t>(big.size())),
              0);
    EXPECT_EQ(prompts.texts("file"), Strings{"File exceeds Maximum Size"});
}

TEST_F(IntelHexTest, EveryRefusalHasItsMessage) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"00000001FF\n", "Illegal Line found"},
        {":0G000000\n", "Illegal Char in File"},
        {":01000000\n", "Illegal Char in File"},   // too short for its data
        {":0100000012\n", "Illegal Char in File"}, // no checksum
        {":01000006001122\n", "Invalid Record type"},
        {":0100000012EC\n", "Checksum Error type 0"},
        {":00000001FE\n", "Invalid EOF Record"},
        {":01000001FF\n", "Invalid EOF Record"},
        {":0000100100\n", "Invalid EOF Record"},
        {":03000002000000FB\n", "Invalid Record Length for type 2"},
        {":010000040000FB\n", "Invalid Record Length for type 4"},
        {":020000020000FD\n", "Checksum Error type 2"},
        {":020000040000FB\n", "Checksum Error type 4"},
        {":02000004000\n", "Illegal Char in File"},
        {":0100000012ED*\n", "Characters after the checksum"},
        {":0100000012ED 00\n", "Characters after the checksum"},
    };
    SetCurrentLanguage(English);
    for (const auto& c : cases) {
        prompts.clear();
        EXPECT_EQ(Read(c.text), 0) << c.text;
        EXPECT_EQ(Messages(), Strings{c.message}) << c.text;
    }
    SetCurrentLanguage(SimplifiedChinese);
}

TEST_F(IntelHexTest, MissingEndRecordLoadsWithAWarning) {
    EXPECT_EQ(Read(":0100000012ED\n"), 1);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(prompts.texts("information"), Strings{Message(Own::NoEndRecord)});
    EXPECT_EQ(target[0], 0x12);
}

TEST_F(IntelHexTest, ABadRecordStoresNothing) {
    EXPECT_EQ(Read(":0100000012ED\n:03000000A1A2A300\n:00000001FF\n"), 0);
    EXPECT_EQ(prompts.texts("file"),
              Strings{FormatMessage(Own::InLine, {"Checksum Error type 0", "2"})});
    EXPECT_EQ(target[1], 0x55);
    EXPECT_EQ(Read(":03001000B1Z2B300\n"), 0);
    EXPECT_EQ(target[0x10], 0x55);
}

TEST_F(IntelHexTest, OverlapsWithOtherValuesAreRefusedNamingBothLines) {
    // The same value twice is fine; another value names the address and lines.
    EXPECT_EQ(Read(":020000001122CB\n:0100010022DC\n:00000001FF\n"), 2);
    EXPECT_TRUE(Messages().empty());
    SetCurrentLanguage(English);
    EXPECT_EQ(Read(":0100010022DC\n\n:020000040000FA\n:020000001133BA\n:00000001FF\n"), 0);
    EXPECT_EQ(prompts.texts("file").back(), FormatMessage(Own::OverlapDiffers, {"1", "1", "4"}));
    SetCurrentLanguage(SimplifiedChinese);
}

TEST_F(IntelHexTest, AddressesNeverWrapPastTheSizeCheck) {
    // Linear FFFF0000 + offset FFF0 + 16 bytes passes 2^32 and would land
    // near 0 in 32 bits; it must be refused and nothing written.
    std::string text = ":02000004FFFFFC\n"
                       ":10FFF00000112233445566778899AABBCCDDEEFF09\n"
                       ":00000001FF\n";
    EXPECT_EQ(Read(text), 0);
    EXPECT_EQ(Messages(), Strings{"File exceeds Maximum Size"});
    for (uint8_t b : target)
        ASSERT_EQ(b, 0x55);
}

TEST_F(IntelHexTest, LongestRecordsAndLongLines) {
    // A record of 255 data bytes, as other tools write them, fits with CR LF.
    std::string full = ":FF000000" + std::string(510, 'A') + "AB";
    unsigned sum = 0xFF;
    for (int i = 0; i < 255; ++i)
        sum += 0xAA;
    full.replace(full.size() - 2, 2, RecordFile::FormatHexField((0x100 - (sum & 0xFF)) & 0xFF, 2));
    ASSERT_EQ(full.size(), 521u);
    EXPECT_EQ(Read(full + "\r\n:00000001FF\n"), 255);
    EXPECT_TRUE(prompts.log.empty());
    // Trailing blanks are read past; a line far longer than any record is not.
    std::string record = ":0100000012ED";
    std::string text = record + std::string(523 - record.size(), ' ') + "\n:00000001FF\n";
    EXPECT_EQ(Read(text), 1);
    EXPECT_TRUE(prompts.log.empty());
    text = record + std::string(1000, ' ') + "tail\n:00000001FF\n";
    EXPECT_EQ(Read(text), 0);
    EXPECT_EQ(Messages(), Strings{Message(Own::LineTooLong)});
}

TEST(IntelHexReader, UnopenableFileSilentlyZero) {
    RecordingPrompts prompts;
    ScopedPrompts scope(prompts);
    uint8_t b = 0;
    EXPECT_EQ(IntelHexFile().Read("/nonexistent-folder/x.hex", &b, 1), 0);
    EXPECT_TRUE(prompts.log.empty());
}

// Round trips through real files, across record, window and format limits.
class IntelHexRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(IntelHexRoundTrip, SameBytesBack) {
    RecordingPrompts prompts;
    ScopedPrompts scope(prompts);
    const uint32_t size = GetParam();
    auto image = vantor::test::RandomBytes(size, size);
    image[0] = 0x00; // a non-erased first record, so the extent is the size
    image[size - 1] = 0x00;
    TempDir dir;
    std::string path = dir.file("image.hex");
    ASSERT_TRUE(IntelHexFile().Write(path, image.data(), size));
    std::vector<uint8_t> back(0x4000000, 0xFF);
    EXPECT_EQ(IntelHexFile().Read(path, back.data(), 0x4000000), static_cast<int32_t>(size));
    EXPECT_EQ(std::memcmp(back.data(), image.data(), size), 0);
    EXPECT_TRUE(prompts.log.empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, IntelHexRoundTrip,
                         ::testing::Values(1u, 31u, 32u, 33u, 0xFFFFu, 0x10000u, 0x10001u,
                                           0x1000000u, 0x4000000u));
