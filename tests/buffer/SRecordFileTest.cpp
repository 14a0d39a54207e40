#include "buffer/SRecordFile.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "tests/buffer/BufferTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

using namespace vantor;
using vantor::test::ReadFile;
using vantor::test::TempDir;

namespace {

using Strings = std::vector<std::string>;

// "S" + type + body + the ones' complement checksum of the body's bytes.
std::string Rec(char type, const std::string& body) {
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < body.size(); i += 2)
        sum += static_cast<unsigned>(std::stoul(body.substr(i, 2), nullptr, 16));
    return std::string("S") + type + body + RecordFile::FormatHexField(0xFF - (sum & 0xFF), 2) +
           "\r\n";
}

class SRecordTest : public ::testing::Test {
protected:
    RecordingPrompts prompts;
    ScopedPrompts scope{prompts};
    std::vector<uint8_t> target = std::vector<uint8_t>(0x1000, 0x55);

    int32_t Read(const std::string& text, uint32_t size = 0x1000) {
        return SRecordFile().ReadText(text, target.data(), size);
    }
    Strings Messages() const { return test::WithoutLines(prompts.texts("file")); }
};

std::string Written(const std::vector<uint8_t>& image) {
    TempDir dir;
    std::string path = dir.file("out.src");
    EXPECT_TRUE(SRecordFile().Write(path, image.data(), static_cast<uint32_t>(image.size())));
    return ReadFile(path);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

} // namespace

TEST(SRecordWriter, ExampleRecordsExactText) {
    std::vector<uint8_t> small(0x8000, 0xFF);
    small[0] = 0x41;
    small[1] = 0x42;
    small[2] = 0x43;
    EXPECT_EQ(Written(small), "S00600004844521B\r\n"
                              "S1130000414243FFFFFFFFFFFFFFFFFFFFFFFFFF33\r\n"
                              "S9030000FC\r\n");
    std::vector<uint8_t> mid(0x100000, 0xFF);
    for (int i = 0; i < 16; ++i)
        mid[0x10000 + i] = static_cast<uint8_t>(i);
    EXPECT_EQ(Written(mid), "S00600004844521B\r\n"
                            "S214010000000102030405060708090A0B0C0D0E0F72\r\n"
                            "S804000000FB\r\n");
}

TEST(SRecordWriter, LastShortRecordAndErasedImages) {
    EXPECT_EQ(Written({0x01, 0x02, 0x03}),
              "S00600004844521B\r\nS1060000010203F3\r\nS9030000FC\r\n");
    EXPECT_EQ(Written(std::vector<uint8_t>(0x8000, 0xFF)), "S00600004844521B\r\nS9030000FC\r\n");
    EXPECT_EQ(Written(std::vector<uint8_t>(0x1000000, 0xFF)),
              "S00600004844521B\r\nS70500000000FA\r\n");
}

TEST(SRecordWriter, RecordTypeThresholds) {
    struct Case {
        uint32_t size;
        char type;
        std::string terminator;
    };
    const Case cases[] = {{0xFFFF, '1', "S9030000FC\r"},
                          {0x10000, '2', "S804000000FB\r"},
                          {0xFFFFFF, '2', "S804000000FB\r"},
                          {0x1000000, '3', "S70500000000FA\r"}};
    for (const auto& c : cases) {
        std::vector<uint8_t> image(c.size, 0xFF);
        image[c.size - 1] = 0x00;
        auto lines = Lines(Written(image));
        ASSERT_EQ(lines.size(), 3u) << c.size;
        EXPECT_EQ(lines[1][1], c.type) << c.size;
        EXPECT_EQ(lines[2], c.terminator) << c.size;
    }
}

TEST_F(SRecordTest, TerminationOnlyLoadsNothing) {
    EXPECT_EQ(Read("S9030000FC\r\n"), 0);
    EXPECT_TRUE(prompts.log.empty());
}

TEST_F(SRecordTest, AnyTerminationEndsAnyDataType) {
    std::string text = "S00600004844521B\n" +
                       Rec('1', "050000"
                                "1234") +
                       "S70500000000FA\n";
    EXPECT_EQ(Read(text), 2);
    EXPECT_EQ(target[0], 0x12);
    EXPECT_TRUE(prompts.log.empty());
    // Data after the termination counts, with a warning naming both lines.
    EXPECT_EQ(Read(text +
                   Rec('2', "05000010"
                            "34") +
                   Rec('1', "040020"
                            "56")),
              0x21);
    EXPECT_EQ(target[0x10], 0x34);
    EXPECT_EQ(target[0x20], 0x56);
    EXPECT_EQ(prompts.texts("information"), Strings{FormatMessage(Own::DataAfterEnd, {"4", "3"})});
    prompts.clear();
    EXPECT_EQ(Read(Rec('3', "0600000100"
                            "AB") +
                   "S9030000FC\n"),
              0x101);
    EXPECT_EQ(target[0x100], 0xAB);
    EXPECT_TRUE(prompts.log.empty());
}

TEST_F(SRecordTest, S2S3OutOfOrderLowerCaseLineEnds) {
    std::string text = Rec('2', "06000100AABB") + "S9030000FC\n";
    text = "S1050010c0de4C\n" + text; // lower-case digits, LF only
    EXPECT_EQ(Read(text), 0x102);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_EQ(target[0x10], 0xC0);
    EXPECT_EQ(target[0x11], 0xDE);
    EXPECT_EQ(target[0x100], 0xAA);
    EXPECT_EQ(target[0x12], 0x55);
}

TEST_F(SRecordTest, HeaderAndCountRecordsLoadNothingButAreChecked) {
    EXPECT_EQ(Read("S0030000FC\n" +
                   Rec('1', "040002"
                            "77") +
                   "S5030001FB\nS604000001FA\nS9030000FC\n"),
              3);
    EXPECT_TRUE(prompts.log.empty());
    // A count that does not match the data records before it.
    EXPECT_EQ(Read("S5030001FB\n"), 0);
    EXPECT_EQ(Messages(), Strings{FormatMessage(Own::RecordCountDiffers, {"1", "0"})});
    prompts.clear();
    for (const char* bad : {"S0030000FF\n", "S5030000FF\n", "S9030000FF\n", "S804000000FF\n"}) {
        EXPECT_EQ(Read(bad), 0) << bad;
        EXPECT_EQ(Messages().back(), "Checksum Error") << bad;
    }
}

TEST_F(SRecordTest, EveryRefusalHasItsMessage) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"s1050000123400\n", "Illegal Line found"},
        {"S4030000FC\n", "Invalid Record type"},
        {"Sx030000FC\n", "Invalid Record type"},
        {"S9030000FC00\n", "Characters after the checksum"},
        {"S1G50000123400\n", "Illegal Char in File"},
        {"S10500001234\n", "Illegal Char in File"}, // no checksum
        {"S1050000\n", "Illegal Char in File"},     // no data
        {"S105000012\n", "Illegal Char in File"},
        {"S2050000\n", "Illegal Char in File"}, // address too short
        {"S1050000123400\n", "Checksum Error"},
        {Rec('1', "050FFF"
                  "AABB"),
         "File exceeds Maximum Size"},
    };
    SetCurrentLanguage(English);
    for (const auto& c : cases) {
        prompts.clear();
        EXPECT_EQ(Read(c.text), 0) << c.text;
        EXPECT_EQ(Messages(), Strings{c.message}) << c.text;
    }
    SetCurrentLanguage(SimplifiedChinese);
}

TEST_F(SRecordTest, RecordEndingAtTheBufferEnd) {
    EXPECT_EQ(Read(Rec('1', "050FFE"
                            "AABB") +
                   "S9030000FC\n"),
              0x1000);
    EXPECT_TRUE(prompts.log.empty());
}

TEST_F(SRecordTest, CountTooSmallForAddressAndChecksumRefused) {
    // Counts 0 to 2 leave no room for the 2 address bytes and the checksum.
    for (const char* text :
         {"S1000000FF\n", "S1010000FE\n", "S1020000FD\n", "S2030000FC\n", "S30400000000FB\n"}) {
        prompts.clear();
        EXPECT_EQ(Read(text), 0) << text;
        EXPECT_EQ(Messages(), Strings{"Illegal Char in File"}) << text;
    }
    for (uint8_t b : target)
        ASSERT_EQ(b, 0x55);
    // Exactly address + checksum is a record without data.
    prompts.clear();
    EXPECT_EQ(Read(Rec('1', "030010") + "S9030000FC\n"), 0);
    EXPECT_TRUE(prompts.log.empty());
}

TEST_F(SRecordTest, ABadRecordStoresNothing) {
    EXPECT_EQ(Read("S1050000A1A200\n"), 0);
    EXPECT_EQ(Messages(), Strings{"Checksum Error"});
    EXPECT_EQ(target[0], 0x55);
}

TEST_F(SRecordTest, MissingTerminationLoadsWithAWarning) {
    EXPECT_EQ(Read(Rec('1', "040000"
                            "11")),
              1);
    EXPECT_EQ(prompts.texts("information"), Strings{Message(Own::NoEndRecord)});
}

TEST_F(SRecordTest, TrailingBlanksAreReadPastLongLinesRefused) {
    std::string record = Rec('1', "040000"
                                  "11");
    record.resize(record.size() - 2); // without its line end
    EXPECT_EQ(Read(record + std::string(100, ' ') + "\nS9030000FC\n"), 1);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_EQ(Read(record + std::string(1000, ' ') + "more\nS9030000FC\n"), 0);
    EXPECT_EQ(Messages(), Strings{Message(Own::LineTooLong)});
}

TEST_F(SRecordTest, LongHeadersFromOtherToolsAreSkipped) {
    // A header far longer than a line (and, from a file, than a read block)
    // is skipped whole.
    std::string header = "S0" + std::string(300, '4') + "\r\n";
    std::string data = Rec('1', "040000"
                                "11");
    EXPECT_EQ(Read(header + data + "S9030000FC\n"), 1);
    EXPECT_TRUE(prompts.log.empty());
    TempDir dir;
    test::WriteFile(dir.file("long.s19"),
                    "S0" + std::string(3 << 20, 'A') + "\n" + data + "S9030000FC\n");
    target[0] = 0;
    EXPECT_EQ(SRecordFile().Read(dir.file("long.s19"), target.data(), 0x1000), 1);
    EXPECT_EQ(target[0], 0x11);
    EXPECT_EQ(Read("S0" + std::string(300, '4')), 0); // no line end, no termination
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SRecordTest, LargestRecordsOfTheFormat) {
    // A count of 255: 252 data bytes in S1, 250 in S3, as srec_cat reads them.
    std::string s1 = Rec('1', "FF0000" + std::string(504, 'A'));
    std::string s3 = Rec('3', "FF00000100" + std::string(500, 'B'));
    EXPECT_EQ(s1.size(), 516u);
    EXPECT_EQ(Read(s1 + s3 + "S9030000FC\n"), 0x100 + 250);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_EQ(target[251], 0xAA);
}

TEST(SRecordReader, UnopenableFileSilentlyZero) {
    RecordingPrompts prompts;
    ScopedPrompts scope(prompts);
    uint8_t b = 0;
    EXPECT_EQ(SRecordFile().Read("/nonexistent-folder/x.src", &b, 1), 0);
    EXPECT_TRUE(prompts.log.empty());
}

class SRecordRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SRecordRoundTrip, SameBytesBack) {
    RecordingPrompts prompts;
    ScopedPrompts scope(prompts);
    const uint32_t size = GetParam();
    auto image = vantor::test::RandomBytes(size, size + 7);
    image[size - 1] = 0x00;
    TempDir dir;
    std::string path = dir.file("image.src");
    ASSERT_TRUE(SRecordFile().Write(path, image.data(), size));
    std::vector<uint8_t> back(0x4000000, 0xFF);
    EXPECT_EQ(SRecordFile().Read(path, back.data(), 0x4000000), static_cast<int32_t>(size));
    EXPECT_EQ(std::memcmp(back.data(), image.data(), size), 0);
    EXPECT_TRUE(prompts.log.empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, SRecordRoundTrip,
                         ::testing::Values(1u, 15u, 16u, 17u, 31u, 32u, 33u, 0xFFFFu, 0x10000u,
                                           0x10001u, 0xFFFFFFu, 0x1000000u, 0x4000000u));
