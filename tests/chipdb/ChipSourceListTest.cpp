#include "chipdb/ChipSourceList.h"

#include <gtest/gtest.h>

using namespace vantor;

namespace {

const std::string kHeader = std::string(kChipSourceHeader) + "\n";
const std::string kMinimal = "SPI,W,W25Q32,EF4016,4M,256,0,0,800,3.3V\n"
                             "24,Atmel,AT24C02,0,256,8,1,0,100,3.3V\n"
                             "93,Atmel,AT93C46-X16,0,128,2,2,87,100,3.3V\n";

// Parses and checks lines given without their addr4 and source columns
// (each gets an empty addr4 and a source); returns all complaints joined.
std::string Complaints(const std::string& body) {
    std::string sourced;
    for (std::size_t start = 0, nl; start < body.size(); start = nl + 1) {
        nl = body.find('\n', start);
        sourced += body.substr(start, nl - start) + ",,datasheet\n";
    }
    std::vector<ChipRecord> records;
    std::vector<std::string> errors;
    ParseChipSourceList(kHeader + sourced, &records, &errors);
    if (errors.empty())
        errors = CheckShippedRules(records);
    std::string out;
    for (const auto& e : errors)
        out += e + "\n";
    return out;
}

} // namespace

TEST(ChipSourceList, ReadsEveryColumnAndIgnoresCommentsAndCarriageReturns) {
    std::vector<ChipRecord> records;
    std::vector<std::string> errors;
    ASSERT_TRUE(ParseChipSourceList("# comment\r\n\r\n" + kHeader +
                                        "SPI,W,W25Q32,EF4016,4M,256,0,1,800,1.8V,,ds\r\n"
                                        "95,ST,M95M02,0,256K,256,4,2,100,5.0V,,ds\n",
                                    &records, &errors))
        << errors.front();
    ASSERT_EQ(records.size(), 2u);
    const ChipRecord& r = records[0];
    EXPECT_EQ(NameTextUtf8(r), "SPI,W,W25Q32");
    EXPECT_EQ(r.ChipId, 0xEF4016u);
    EXPECT_EQ(r.FlashSize, 4u << 20);
    EXPECT_EQ(r.FlashPage, 256);
    EXPECT_EQ(r.SubType, 1);
    EXPECT_EQ(r.Delay, 800);
    EXPECT_EQ(r.Voltage, ChipVoltage::V1_8);
    EXPECT_EQ(r.EepromPage, 1);
    EXPECT_EQ(records[1].FlashSize, 256u * 1024u);
    EXPECT_EQ(records[1].Voltage, ChipVoltage::V5_0);
    EXPECT_EQ(records[1].Family, ChipFamily::Eeprom95);
}

TEST(ChipSourceList, UnreadableLinesAreNamedByNumber) {
    EXPECT_NE(Complaints("SPI,W,X,EF4016,4M,256,0,0,800\n").find("line 2: 12 fields"),
              std::string::npos);
    EXPECT_NE(Complaints("SPI,W,X,ZZ,4M,256,0,0,800,3.3V\n").find("chip_id"), std::string::npos);
    EXPECT_NE(Complaints("SPI,W,X,1,4G,256,0,0,800,3.3V\n").find("size"), std::string::npos);
    EXPECT_NE(Complaints("SPI,W,X,1,4M,256,0,0,70000,3.3V\n").find("delay"), std::string::npos);
    EXPECT_NE(Complaints("SPI,W,X,1,4M,256,0,0,800,3V\n").find("voltage"), std::string::npos);
    EXPECT_NE(
        Complaints("SPI,W," + std::string(45, 'N') + ",1,4M,256,0,0,800,3.3V\n").find("at most 47"),
        std::string::npos);
    std::vector<ChipRecord> records;
    std::vector<std::string> errors;
    EXPECT_FALSE(ParseChipSourceList("name,size\nA,1\n", &records, &errors));
    EXPECT_FALSE(
        ParseChipSourceList(kHeader + "SPI,W,X,1,4M,256,0,0,800,3.3V,, \n", &records, &errors));
    EXPECT_NE(errors.back().find("no source"), std::string::npos);
    EXPECT_FALSE(ParseChipSourceList("# only a comment\n", &records, &errors));
}

TEST(ChipSourceList, AValidListBreaksNoRule) {
    EXPECT_EQ(Complaints(kMinimal), "");
}

TEST(ChipSourceList, FourByteEntryIsStatedAboveSixteenMiBOnlyAndAgreesPerId) {
    auto check = [](const std::string& rows) {
        std::vector<ChipRecord> records;
        std::vector<FourByteEntry> entries;
        std::vector<std::string> errors;
        ParseChipSourceList(kHeader + rows, &records, &errors, &entries);
        if (errors.empty())
            errors = CheckFourByteEntries(records, entries);
        std::string out;
        for (const auto& e : errors)
            out += e + "\n";
        return std::pair{out, FourByteEntryTable(records, entries)};
    };
    const std::string small = "SPI,W,W25Q32,EF4016,4M,256,0,0,800,3.3V,,ds\n";
    const auto [good, table] =
        check(small + "SPI,S,S25FL256S,010219,32M,256,0,0,6400,3.3V,17 80,ds\n"
                      "SPI,S,S25FS256S,010219,32M,256,0,0,6400,3.3V,17 80,ds\n"
                      "SPI,M,MT25QL256,20BA19,32M,256,0,0,6400,3.3V,06 B7,ds\n"
                      "SPI,X,XT25Q256,0B6019,32M,256,0,0,6400,3.3V,unknown,ds\n");
    EXPECT_EQ(good, "");
    // One line per stated ID, sorted; an unknown method is left to the default.
    EXPECT_EQ(table, "{0x010219, FourByteEntry::BankRegister},\n"
                     "{0x20BA19, FourByteEntry::WriteEnableB7},\n");

    EXPECT_NE(check("SPI,W,W25Q256,EF4019,32M,256,0,0,6400,3.3V,,ds\n").first.find("must say"),
              std::string::npos);
    EXPECT_NE(check("SPI,W,W25Q32,EF4016,4M,256,0,0,800,3.3V,B7,ds\n").first.find("only"),
              std::string::npos);
    EXPECT_NE(check("SPI,W,W25Q256,EF4019,32M,256,0,0,6400,3.3V,B7,ds\n"
                    "SPI,W,W25Q256FV,EF4019,32M,256,0,0,6400,3.3V,06 B7,ds\n")
                  .first.find("differs from W25Q256"),
              std::string::npos);
    EXPECT_NE(check("SPI,W,W25Q256,EF4019,32M,256,0,0,6400,3.3V,B8,ds\n").first.find("addr4"),
              std::string::npos);
}

TEST(ChipSourceList, EachBrokenRuleIsRefused) {
    const struct {
        const char* extraLine;
        const char* complaint;
    } cases[] = {
        {"SPI,W,w25q32,EF4016,4M,256,0,0,800,3.3V", "same three names"},
        {"SPI,w,W25Q64,EF4017,8M,256,0,0,800,3.3V", "maker name differs only in letter case"},
        {"spi,W,W25Q64,EF4017,8M,256,0,0,800,3.3V", "type name differs only in letter case"},
        {"SPI,W,W25Q64,EF4017,3M,256,0,0,800,3.3V", "power of two"},
        {"SPI,W,W25Q64,EF4017,128M,256,0,0,800,3.3V", "64 MiB"},
        {"SPI,W,W25Q64,EF4017,32,32,0,0,800,3.3V", "64 B"},
        {"SPI,W,W25Q64,EF4017,8M,512,0,0,800,3.3V", "page 512"},
        {"SPI,W,W25Q64,EF4017,8M,0,0,0,800,3.3V", "page 0"},
        {"SPI,W,W25Q64,0,8M,256,0,0,800,3.3V", "JEDEC ID"},
        {"SPI,W,W25Q64,EF4017,8M,256,0,2,800,3.3V", "SubType must be 0 or 1"},
        {"SPI,W,W25Q64,EF4017,8M,256,0,0,0,3.3V", "delay must not be 0"},
        {"SPI,W,W25Q64,EF4017,8M,256,3,0,800,3.3V", "used by family 0 as well"},
        {"24,Atmel,AT24C04,0,512,16,1,0,100,3.3V", "families must come in order"},
        {"FLASH,W,W25Q64,EF4017,8M,256,0,0,800,3.3V", "already uses type name"},
        {"93,Atmel,AT24C04,0,512,16,1,0,100,3.3V", "used by family 2 as well"},
        {"24,Atmel,AT24C32,0,4K,32,1,0,100,3.3V", "does not match the size"},
        {"24,Atmel,AT24C04,12,512,16,1,0,100,3.3V", "only SPI flash has a chip ID"},
        {"93,Atmel,AT93C66,0,512,1,2,12,100,3.3V", "7..11 or 87..91"},
        {"93,Atmel,AT93C66,0,512,1,2,89,100,3.3V", "16-bit organisation"},
        {"25,Atmel,AT25040A,0,512,8,3,1,100,3.3V", "does not match the size"},
        {"95,ST,M95M01,0,128K,256,4,1,100,3.3V", "does not match the size"},
        {"95,ST,M95,0,128K,256,5,2,100,3.3V", "not 0..4"},
        {"95,ST,\"M95\",0,128K,256,4,2,100,3.3V", "comma or quote"},
        {"95,,M95M01,0,128K,256,4,2,100,3.3V", "must all be present"},
        {"95,ST,M95(M01),0,128K,256,4,2,100,3.3V", "letters, digits and hyphens"},
        {"SPI,W,W25Q128.V,EF4018,16M,256,0,0,800,3.3V", "letters, digits and hyphens"},
        {"95,ST,at24c02,0,128K,256,4,2,100,3.3V", "one record per part number"},
        {"SPI,W,W25Q64,EF4017,4M,256,0,0,800,3.3V", "the ID states 8388608"},
        {"SPI,W,W25Q32X,EF4016,4M,128,0,0,800,3.3V", "differs from W25Q32"},
        {"SPI,A,AT25DF321,1F4700,4M,256,0,0,800,3.3V\n"
         "SPI,A,AT26DF321,1F4700,2M,256,0,0,800,3.3V",
         "differs from AT25DF321"},
    };
    for (const auto& c : cases) {
        const std::string complaints = Complaints(kMinimal + c.extraLine + "\n");
        EXPECT_NE(complaints.find(c.complaint), std::string::npos)
            << c.extraLine << "\n got: " << complaints;
    }
    // A blank in a name splits it into more fields than the three.
    EXPECT_NE(Complaints(kMinimal + "95,ST,M95 M01,0,128K,256,4,2,100,3.3V\n").find("blank"),
              std::string::npos);
}

TEST(ChipSourceList, TheFirstThreeFamiliesMustAllBePresentAndFitTheSlots) {
    EXPECT_NE(Complaints("SPI,W,W25Q32,EF4016,4M,256,0,0,800,3.3V\n"
                         "93,Atmel,AT93C46-X16,0,128,2,2,87,100,3.3V\n")
                  .find("no record of family 1"),
              std::string::npos);
    std::string many = kMinimal;
    for (int i = 0; i < 997; ++i)
        many += "93,Atmel,X" + std::to_string(i) + ",0,128,2,2,87,100,3.3V\n";
    EXPECT_NE(Complaints(many).find("1000 records; at most 999"), std::string::npos);
}

TEST(ChipSourceList, SubTypeBySize) {
    EXPECT_EQ(SizeSubType(ChipFamily::Eeprom24, 2048), 0);
    EXPECT_EQ(SizeSubType(ChipFamily::Eeprom24, 4096), 1);
    EXPECT_EQ(SizeSubType(ChipFamily::Eeprom25, 512), 0);
    EXPECT_EQ(SizeSubType(ChipFamily::Eeprom25, 1024), 1);
    EXPECT_EQ(SizeSubType(ChipFamily::Eeprom95, 65536), 1);
    EXPECT_EQ(SizeSubType(ChipFamily::Eeprom95, 131072), 2);
    EXPECT_EQ(SizeSubType(ChipFamily::SpiFlash25, 1024), -1);
    EXPECT_EQ(SizeSubType(ChipFamily::Eeprom93, 128), -1);
}

TEST(ChipSourceList, CapacityFromTheJedecId) {
    EXPECT_EQ(CapacityFromJedecId(0xEF4016), 4u << 20);
    EXPECT_EQ(CapacityFromJedecId(0xC84010), 64u << 10);
    EXPECT_EQ(CapacityFromJedecId(0xEF4020), 64u << 20);
    EXPECT_EQ(CapacityFromJedecId(0xC2201A), 64u << 20);
    EXPECT_EQ(CapacityFromJedecId(0xC22539), 32u << 20); // Macronix 1.8 V: 0x39 = 0x19 + 0x20
    EXPECT_EQ(CapacityFromJedecId(0x1F4700), 0u);        // Atmel: no capacity in the ID
    EXPECT_EQ(CapacityFromJedecId(0xBF2541), 0u);        // SST: neither
}
