#include "link/Protocol.h"

#include <gtest/gtest.h>

using namespace vantor;

namespace {

ChipParameters FlashOneMiB() {
    ChipParameters p;
    p.family = ChipFamily::SpiFlash25;
    p.subType = 1;
    p.page = 256;
    p.delay = 0x1234;
    p.size = 1048576;
    p.chipId = 0xEF4014;
    p.voltage = kVoltage1V8;
    return p;
}

bool OnlyZerosOutside(const CommandBlock& b, std::initializer_list<std::size_t> used) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        bool isUsed = false;
        for (std::size_t u : used) {
            isUsed = isUsed || u == i;
        }
        if (!isUsed && b[i] != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(Protocol, ChipSetupByteOrderFollowsTheVariant) {
    const CommandBlock be = BuildChipSetup(FlashOneMiB(), 0, true);
    const CommandBlock le = BuildChipSetup(FlashOneMiB(), 0, false);
    EXPECT_EQ(be[0], 0);
    EXPECT_EQ(be[1], CMD_CHIP_SETUP);
    EXPECT_EQ(be[2], 0);
    EXPECT_EQ(be[3], 1);
    // Page 256 and capacity 1 MiB, as they go out on the wire.
    EXPECT_EQ((std::array<int, 2>{be[4], be[5]}), (std::array<int, 2>{0x01, 0x00}));
    EXPECT_EQ((std::array<int, 2>{le[4], le[5]}), (std::array<int, 2>{0x00, 0x01}));
    EXPECT_EQ((std::array<int, 4>{be[8], be[9], be[10], be[11]}),
              (std::array<int, 4>{0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ((std::array<int, 4>{le[8], le[9], le[10], le[11]}),
              (std::array<int, 4>{0x00, 0x00, 0x10, 0x00}));
    EXPECT_EQ((std::array<int, 2>{be[6], be[7]}), (std::array<int, 2>{0x12, 0x34}));
    EXPECT_EQ((std::array<int, 4>{be[12], be[13], be[14], be[15]}),
              (std::array<int, 4>{0x00, 0xEF, 0x40, 0x14}));
    EXPECT_EQ((std::array<int, 4>{le[12], le[13], le[14], le[15]}),
              (std::array<int, 4>{0x14, 0x40, 0xEF, 0x00}));
    EXPECT_EQ(be[28], kVoltage1V8);
    EXPECT_TRUE(OnlyZerosOutside(be, {1, 3, 4, 6, 7, 9, 13, 14, 15, 28}));
}

TEST(Protocol, ClockByteRulesPerFamilyAndForReadId) {
    ChipParameters p;
    p.family = ChipFamily::Eeprom25;
    p.voltage = kVoltage1V8;
    EXPECT_EQ(BuildChipSetup(p, 2, false)[16], 0x21);
    EXPECT_EQ(BuildReadId(p, 2, false)[16], 0x02);
    p.family = ChipFamily::Eeprom24;
    p.voltage = kVoltage5V0;
    EXPECT_EQ(BuildChipSetup(p, 4, false)[16], 0x02);
    EXPECT_EQ(BuildReadId(p, 4, false)[16], 0x04);
    p.family = ChipFamily::SpiFlash25;
    EXPECT_EQ(BuildChipSetup(p, 5, true)[16], 5);
    p.family = ChipFamily::Eeprom93;
    p.voltage = kVoltage3V3;
    EXPECT_EQ(BuildChipSetup(p, 3, true)[16], 0);
    p.family = ChipFamily::Eeprom95;
    p.voltage = kVoltage1V8;
    EXPECT_EQ(BuildChipSetup(p, 3, true)[16], 1);
}

TEST(Protocol, ReadIdCarriesTheChipLayout) {
    const CommandBlock b = BuildReadId(FlashOneMiB(), 1, false);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[1], CMD_READ_ID);
    EXPECT_EQ(b[10], 0x10);
    EXPECT_EQ(b[28], kVoltage1V8);
}

TEST(Protocol, SmallCommands) {
    const CommandBlock erase = BuildErase(kFlashChipEraseArgument, true);
    EXPECT_EQ(erase[0], 1);
    EXPECT_EQ(erase[1], CMD_ERASE);
    EXPECT_EQ(erase[26], 0x80);
    EXPECT_EQ(erase[27], 0x00);
    EXPECT_TRUE(OnlyZerosOutside(erase, {0, 1, 26}));
    EXPECT_EQ(BuildErase(0x0108, false)[26], 0x08);
    EXPECT_EQ(BuildErase(0x0108, false)[27], 0x01);

    const CommandBlock address = BuildSetAddress(0x01020304, true);
    EXPECT_EQ(address[0], 0);
    EXPECT_EQ(address[1], CMD_SET_ADDRESS);
    EXPECT_EQ(address[8], 1);
    EXPECT_EQ(address[11], 4);
    EXPECT_EQ(BuildSetAddress(0x01020304, false)[8], 4);

    const CommandBlock finish = BuildFinish();
    EXPECT_EQ(finish[0], 1);
    EXPECT_EQ(finish[1], CMD_FINISH);
    EXPECT_TRUE(OnlyZerosOutside(finish, {0, 1}));

    const CommandBlock spi = BuildSpiCommand(kSpiEnter4ByteMode);
    EXPECT_EQ(spi[0], 0);
    EXPECT_EQ(spi[1], CMD_SPI_COMMAND);
    EXPECT_EQ(spi[2], 3);
    EXPECT_EQ(spi[3], 1);
    EXPECT_EQ(spi[4], 0xB7);
    EXPECT_TRUE(OnlyZerosOutside(spi, {1, 2, 3, 4}));
}

TEST(Protocol, StatusPollKeepsTheRestOfTheBuffer) {
    CommandBlock buffer = BuildErase(kFlashChipEraseArgument, false);
    MakeReadStatus(buffer);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], CMD_READ_STATUS);
    EXPECT_EQ(buffer[26], 0x00);
    EXPECT_EQ(buffer[27], 0x80); // the erase argument is still there
}

TEST(Protocol, DecodeIsTheInverseOfBuild) {
    for (bool bigEndian : {false, true}) {
        const ChipParameters in = FlashOneMiB();
        const CommandBlock b = BuildChipSetup(in, 0, bigEndian);
        const ChipParameters out = DecodeChipParameters(b.data(), bigEndian);
        EXPECT_EQ(out.page, in.page);
        EXPECT_EQ(out.delay, in.delay);
        EXPECT_EQ(out.size, in.size);
        EXPECT_EQ(out.chipId, in.chipId);
        EXPECT_EQ(out.subType, in.subType);
    }
    EXPECT_TRUE(IsBigEndianVariant(0x82));
    EXPECT_FALSE(IsBigEndianVariant(0x85));
    EXPECT_EQ(ChunkSize(16), 64u);
    EXPECT_EQ(ChunkSize(256), 256u);
    EXPECT_FALSE(NeedsFourByteMode(16u * 1024 * 1024));
    EXPECT_TRUE(NeedsFourByteMode(32u * 1024 * 1024));
}
