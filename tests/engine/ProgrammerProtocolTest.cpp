// Opening, closing and the ID request, checked on the bytes that reach the
// emulated programmer.
#include "tests/engine/EngineTestSupport.h"

using namespace vantor;
using namespace vantor::test;

namespace {

class Protocol : public EngineFixture {};

Bytes Slice(const CommandBlock& b, std::size_t at, std::size_t n) {
    return Bytes(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + n));
}

} // namespace

TEST_F(Protocol, MultiByteFieldsFollowTheVariant) {
    const ChipRecord chip =
        Record({.family = 0, .size = 1048576, .page = 256, .delay = 0x1234, .id = 0xEF4014});
    struct Case {
        const char* product;
        Bytes size, page, delay, id;
    } cases[] = {
        {"DudOVEDuro", {0x00, 0x10, 0x00, 0x00}, {0x01, 0x00}, {0x12, 0x34}, {0, 0xEF, 0x40, 0x14}},
        {"DudOVEDuro Device",
         {0x00, 0x00, 0x10, 0x00},
         {0x00, 0x01},
         {0x34, 0x12},
         {0x14, 0x40, 0xEF, 0}},
    };
    for (const Case& c : cases) {
        useChip({.size = 1048576, .id = 0xEF4014}, c.product);
        std::uint8_t reply[4] = {};
        ASSERT_EQ(engine.ReadChipId(chip, reply), 7);
        ASSERT_EQ(engine.OpenProgrammer(chip), 6);
        engine.CloseProgrammer();
        const auto setup = blocks(CMD_CHIP_SETUP);
        const auto id = blocks(CMD_READ_ID);
        ASSERT_EQ(setup.size(), 1u);
        ASSERT_EQ(id.size(), 1u);
        for (const CommandBlock& b : {setup[0], id[0]}) {
            EXPECT_EQ(Slice(b, 8, 4), c.size) << c.product;
            EXPECT_EQ(Slice(b, 4, 2), c.page) << c.product;
            EXPECT_EQ(Slice(b, 6, 2), c.delay) << c.product;
            EXPECT_EQ(Slice(b, 12, 4), c.id) << c.product;
        }
        EXPECT_EQ(setup[0][0], 0);
        EXPECT_EQ(setup[0][1], CMD_CHIP_SETUP);
        EXPECT_EQ(id[0][1], CMD_READ_ID);
        // The reply bytes come back in the order detection combines them.
        EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{1, 0xEF, 0x40, 0x14})) << c.product;
    }
}

TEST_F(Protocol, ClockAndVoltageByte) {
    struct Case {
        int family;
        int speed;
        std::uint8_t voltage;
        std::uint8_t setupByte, idByte;
    } cases[] = {
        {3, 2, 1, 0x21, 0x02}, // 25-series EEPROM: speed high nibble, voltage low
        {1, 4, 2, 0x02, 0x04}, // 24-series: the voltage alone
        {0, 5, 1, 0x05, 0x05}, // SPI flash: the speed alone
        {2, 3, 2, 0x02, 0x03}, {4, 1, 1, 0x01, 0x01},
    };
    for (const Case& c : cases) {
        useChip({.family = c.family, .size = 4096, .page = 32});
        host.speed = c.speed;
        const ChipRecord chip =
            Record({.family = c.family, .size = 4096, .page = 32, .voltage = c.voltage});
        std::uint8_t reply[4];
        engine.ReadChipId(chip, reply);
        engine.OpenProgrammer(chip);
        engine.CloseProgrammer();
        const CommandBlock setup = blocks(CMD_CHIP_SETUP).at(0);
        const CommandBlock id = blocks(CMD_READ_ID).at(0);
        EXPECT_EQ(setup[16], c.setupByte) << "family " << c.family;
        EXPECT_EQ(id[16], c.idByte) << "family " << c.family;
        EXPECT_EQ(setup[28], c.voltage);
        EXPECT_EQ(setup[2], c.family);
        // Everything the layout does not name stays zero.
        for (std::size_t i : {17u, 20u, 27u, 29u, 40u, 63u}) {
            EXPECT_EQ(setup[i], 0) << i;
        }
    }
}

TEST_F(Protocol, OpenResultPerFamilyAndTheBracketAroundIt) {
    const int expected[] = {6, 4, 1, 1, 1};
    for (int family = 0; family < 5; ++family) {
        useChip({.family = family, .size = 4096, .page = 16});
        host.clear();
        const ChipRecord chip = Record({.family = family, .size = 4096, .page = 16});
        EXPECT_EQ(engine.OpenProgrammer(chip), expected[family]);
        EXPECT_TRUE(host.locked);
        EXPECT_TRUE(engine.holdsProgrammer());
        engine.CloseProgrammer();
        EXPECT_FALSE(host.locked);
        EXPECT_EQ(host.status, "Ready");
        EXPECT_EQ(emu.opcodes(), (std::vector<int>{CMD_CHIP_SETUP, CMD_FINISH}));
        const CommandBlock finish = blocks(CMD_FINISH).at(0);
        EXPECT_EQ(finish, BuildFinish());
        EXPECT_EQ(emu.openHandles(), 0);
        EXPECT_TRUE(host.errors().empty());
    }
}

TEST_F(Protocol, WithoutAProgrammer) {
    configure("[programmer]\nplugged = 0\n");
    const ChipRecord chip = Record({});

    // ReadChipId: 0, silent, nothing locked, output untouched.
    std::uint8_t reply[4] = {9, 9, 9, 9};
    EXPECT_EQ(engine.ReadChipId(chip, reply), 0);
    EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{9, 9, 9, 9}));
    EXPECT_TRUE(host.trace.empty());
    EXPECT_FALSE(engine.failed());

    // OpenProgrammer: message 13 in a box, nothing locked.
    EXPECT_EQ(engine.OpenProgrammer(chip), 0);
    EXPECT_EQ(host.trace, (std::vector<std::string>{"error:Not connected"}));

    // CloseProgrammer: unlock and "Ready" without a transfer.
    host.clear();
    engine.CloseProgrammer();
    EXPECT_EQ(host.trace, (std::vector<std::string>{"unlock", "status:Ready"}));
    EXPECT_EQ(emu.transfers(), 0);

    // The message follows the language of the moment.
    SetCurrentLanguage(SimplifiedChinese);
    host.clear();
    engine.OpenProgrammer(chip);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{Message(13, SimplifiedChinese)}));
}

TEST_F(Protocol, ChipIdExchangeLocksForItsLength) {
    useChip({.id = 0xC22017});
    std::uint8_t reply[4] = {};
    EXPECT_EQ(engine.ReadChipId(Record({}), reply), 7);
    EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{1, 0xC2, 0x20, 0x17}));
    EXPECT_EQ(host.trace, (std::vector<std::string>{"lock", "unlock", "status:Ready"}));
    EXPECT_EQ(emu.opcodes(), (std::vector<int>{CMD_READ_ID, CMD_FINISH}));
    EXPECT_FALSE(link.isOpen());

    configure("[programmer]\nchip = none\n");
    EXPECT_EQ(engine.ReadChipId(Record({}), reply), 7);
    EXPECT_EQ(reply[0], kIdNoChip);
}

TEST_F(Protocol, StartAddressAndSpiCommandBlocks) {
    useChip({}, "DudOVEDuro");
    ASSERT_NE(engine.OpenProgrammer(Record({})), 0);
    EXPECT_EQ(engine.SetStartAddress(0x01020304, 1), 64);
    EXPECT_EQ(engine.SetStartAddress(0, 0), 64);
    EXPECT_EQ(engine.SendSpiCommand(kSpiEnter4ByteMode), 64);
    engine.CloseProgrammer();
    const auto address = blocks(CMD_SET_ADDRESS);
    ASSERT_EQ(address.size(), 2u);
    EXPECT_EQ(Slice(address[0], 8, 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(address[0][0], 0);
    const CommandBlock spi = blocks(CMD_SPI_COMMAND).at(0);
    EXPECT_EQ(Slice(spi, 0, 6), (Bytes{0, CMD_SPI_COMMAND, 3, 1, 0xB7, 0}));
    // A reply is read after the first address and the SPI command only.
    int replies = 0;
    for (const auto& e : emu.events()) {
        replies += e.kind == VANTOR_EMU_REPLY;
    }
    EXPECT_EQ(replies, 3); // chip setup, address with reply, SPI command
}

TEST_F(Protocol, OneHolderAtATime) {
    useChip({});
    ASSERT_EQ(engine.OpenProgrammer(Record({})), 6);
    // While the programmer is held nobody else opens it.
    std::uint8_t reply[4] = {};
    EXPECT_EQ(engine.ReadChipId(Record({}), reply), 0);
    EXPECT_EQ(engine.OpenProgrammer(Record({})), 0);
    EXPECT_EQ(emu.opcodes(), (std::vector<int>{CMD_CHIP_SETUP}));
    engine.CloseProgrammer();
    EXPECT_FALSE(engine.holdsProgrammer());
}
