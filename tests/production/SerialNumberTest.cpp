// Serial number fields and the schema file: pure functions, no store.
#include "production/SerialNumber.h"
#include "production/LogSchema.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace vantor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using F = SerialField::Format;

Bytes Encoded(const std::string& text, std::uint64_t value) {
    const auto field = SerialField::parse(text);
    EXPECT_TRUE(field) << text;
    Bytes b(field ? field->width : 0);
    if (field) {
        field->encode(value, b.data());
        EXPECT_EQ(field->decode(b.data()), value) << text; // every spelling reads back
    }
    return b;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(SerialField, SpecsParseAndBadOnesSayWhy) {
    const auto f = SerialField::parse("0x1000:4:be");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->address, 0x1000u);
    EXPECT_EQ(f->width, 4u);
    EXPECT_EQ(f->format, F::BigEndian);
    EXPECT_EQ(f->key(), "0x00001000:4:be");
    EXPECT_EQ(SerialField::parse("4096:4:be")->key(), f->key()); // one series, two spellings

    std::string why;
    for (const char* bad : {"", "0x10:4", "0x10:4:le:x", "0x10:0:le", "0x10:9:le", "0x10:17:hex",
                            "0x10:20:dec", "x:4:le", "0x10:4:LE", "0x100000000:1:le"}) {
        EXPECT_FALSE(SerialField::parse(bad, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
    EXPECT_TRUE(SerialField::parse("0:19:dec"));
    EXPECT_TRUE(SerialField::parse("0:16:hex"));
}

TEST(SerialField, EachFormatSpellsTheNumberAndReadsItBack) {
    EXPECT_EQ(Encoded("0:4:le", 0x12345678), (Bytes{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(Encoded("0:4:be", 0x12345678), (Bytes{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(Encoded("0:6:be", 0x0002A1B2C3D4), (Bytes{0x00, 0x02, 0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_EQ(Encoded("0:8:le", 1), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Encoded("0:6:dec", 42), Text("000042"));
    EXPECT_EQ(Encoded("0:4:hex", 0xBEEF), Text("BEEF"));
    EXPECT_EQ(Encoded("0:8:hex", 0x2A), Text("0000002A"));

    const auto dec = SerialField::parse("0:4:dec");
    EXPECT_FALSE(dec->decode(Text("12 4").data()));
    EXPECT_FALSE(dec->decode(Bytes{0xFF, 0xFF, 0xFF, 0xFF}.data())); // a blank chip
    EXPECT_EQ(SerialField::parse("0:2:hex")->decode(Text("af").data()), 0xAFu);
    EXPECT_FALSE(SerialField::parse("0:2:dec")->decode(Text("AF").data()));
}

TEST(SerialField, MaximumIsWhatTheFieldHoldsWithinTheStore) {
    EXPECT_EQ(SerialField::parse("0:1:le")->maximum(), 0xFFu);
    EXPECT_EQ(SerialField::parse("0:7:be")->maximum(), 0x00FFFFFFFFFFFFFFu);
    EXPECT_EQ(SerialField::parse("0:3:dec")->maximum(), 999u);
    EXPECT_EQ(SerialField::parse("0:3:hex")->maximum(), 0xFFFu);
    // Wider fields stop at the store's signed 64-bit column, one below its top.
    const std::uint64_t ceiling = 0x7FFFFFFFFFFFFFFEu;
    EXPECT_EQ(SerialField::parse("0:8:le")->maximum(), ceiling);
    EXPECT_EQ(SerialField::parse("0:16:hex")->maximum(), ceiling);
    EXPECT_EQ(SerialField::parse("0:19:dec")->maximum(), ceiling);
    EXPECT_EQ(SerialField::parse("0:18:dec")->maximum(), 999999999999999999u);
    EXPECT_EQ(ParseSerialNumber("0x7FFFFFFFFFFFFFFE"), ceiling);
    EXPECT_FALSE(ParseSerialNumber("0x7FFFFFFFFFFFFFFF"));
    EXPECT_FALSE(ParseSerialNumber("-1"));
}

TEST(LogSchema, SectionsBecomeStepsWithTheDriversKey) {
    const auto steps = ParseSchema("-- a comment\n-- version 1\nCREATE TABLE t (\n  id {key},\n"
                                   "  x TEXT\n);\n\n-- version 2\nCREATE INDEX i ON t (x);  \n",
                                   "SERIAL");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].statements,
              std::vector<std::string>{"CREATE TABLE t (\nid SERIAL,\nx TEXT\n)"});
    EXPECT_EQ(steps[1].version, 2);
    EXPECT_EQ(steps[1].statements, std::vector<std::string>{"CREATE INDEX i ON t (x)"});

    EXPECT_THROW(ParseSchema("-- version 2\nSELECT 1;\n", "k"), std::runtime_error);
    EXPECT_THROW(ParseSchema("-- version 1\nSELECT 1\n", "k"), std::runtime_error);
    EXPECT_THROW(ParseSchema("SELECT 1;\n-- version 1\n", "k"), std::runtime_error);
    // The shipped file parses for both stores.
    EXPECT_FALSE(LogSchemaSteps(false).empty());
    EXPECT_EQ(LogSchemaSteps(true).size(), LogSchemaSteps(false).size());
}

} // namespace
} // namespace vantor
