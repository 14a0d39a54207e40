// What keeps a chip operation from reporting success on the wrong chip or on
// a chip that ignored it: the ID check before it, the sample checks after
// Erase and Write, and the maker's way into 4-byte addressing.
#include "chipdb/NameText.h"
#include "tests/engine/EngineTestSupport.h"

namespace vantor::test {
namespace {

const ChipSpec kW25Q32{.family = 0, .size = 4u << 20, .delay = 100, .id = 0xEF4016};
const ChipSpec kW25Q64{.family = 0, .size = 8u << 20, .delay = 100, .id = 0xEF4017};

ChipRecord Named(const ChipSpec& part, const std::string& name) {
    ChipRecord r = Record(part);
    std::string why;
    EXPECT_TRUE(SetNameText(r, "SPI_FLASH,Winbond," + name, &why)) << why;
    return r;
}

class Safeguard : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        db[0] = Named(kW25Q32, "W25Q32JV");
        db[1] = Named(kW25Q64, "W25Q64JV");
        commands.setDatabase(&db);
    }
    ChipDatabase db;
};

TEST_F(Safeguard, AnotherChipInTheSocketIsAskedAboutDefaultNo) {
    useChip(kW25Q32);
    ASSERT_TRUE(emu.setImage(RandomBytes(kW25Q32.size, 7)));
    const std::string asked =
        "question:The chip answers ID EF4016: W25Q32JV, 4 MiB. The selected chip is W25Q64JV, "
        "8 MiB, ID EF4017. Go on with the selected chip all the same?";
    for (Command c : kAllCommands) {
        load(Bytes(256, 0x11));
        emu.resetLog();
        host.clear();
        EXPECT_EQ(run(c, db[1]), CommandResult::WrongChip) << Name(c);
        EXPECT_EQ(host.kind("question:").size(), 1u) << Name(c);
        EXPECT_EQ(host.position(asked), host.position("question:")) << Name(c);
        // One ID request, and nothing after it reached the chip.
        EXPECT_EQ(blocks(CMD_READ_ID).size(), 1u) << Name(c);
        EXPECT_TRUE(blocks(CMD_CHIP_SETUP).empty()) << Name(c);
    }
    EXPECT_EQ(emu.image(), RandomBytes(kW25Q32.size, 7));

    // Yes goes on with the selected record: the 8 MiB read repeats 4 MiB.
    host.answers = {true};
    EXPECT_EQ(commands.Read(db[1]), CommandResult::Completed);
    EXPECT_EQ(bufferBytes(4u << 20), RandomBytes(kW25Q32.size, 7));

    // The right chip, a record without ID, or one the socket does not answer
    // for (all 0xFF) is not asked about.
    host.clear();
    EXPECT_EQ(commands.Read(db[0]), CommandResult::Completed);
    ChipRecord noId = db[1];
    noId.ChipId = 0;
    EXPECT_EQ(commands.Read(noId), CommandResult::Completed);
    useChip({.family = 0, .size = 8u << 20, .id = 0xFFFFFF});
    EXPECT_EQ(commands.Read(db[1]), CommandResult::Completed);
    EXPECT_TRUE(host.kind("question:").empty());

    // A part the list does not know is named so.
    useChip({.family = 0, .size = 4u << 20, .id = 0x123456});
    commands.setDatabase(nullptr);
    EXPECT_EQ(commands.Read(db[1]), CommandResult::WrongChip);
    EXPECT_NE(host.kind("question:").at(0).find("123456: not in the chip list."),
              std::string::npos);
}

TEST_F(Safeguard, ProtectedChipFailsEraseAndWriteWithTheHint) {
    useChip(kW25Q32, "DudOVEDuro Device", "protect = all\n");
    ASSERT_TRUE(emu.setImage(Bytes(kW25Q32.size, 0x5A)));
    const std::string hint = "\nthe chip may be write-protected: try Unprotect";
    EXPECT_EQ(commands.Erase(db[0]), CommandResult::Protected);
    EXPECT_EQ(host.errors(),
              (std::vector<std::string>{"Erase did not take: the chip is not blank at address 0h" +
                                        hint}));
    EXPECT_NE(host.log.front().find("Erase did not take"), std::string::npos);
    EXPECT_TRUE(completeLines().empty());

    host.clear();
    load(RandomBytes(1000, 8));
    EXPECT_EQ(commands.Write(db[0]), CommandResult::Protected);
    ASSERT_EQ(host.errors().size(), 1u);
    EXPECT_EQ(host.errors()[0].rfind("Write did not take: the chip differs from the buffer at "
                                     "address 0h" +
                                         hint,
                                     0),
              0u);
    EXPECT_TRUE(completeLines().empty());

    // Unprotected, both pass; the checks read three and two pages.
    EXPECT_EQ(commands.Unprotect(db[0]), CommandResult::Completed);
    emu.resetLog();
    EXPECT_EQ(commands.Erase(db[0]), CommandResult::Completed);
    EXPECT_EQ(blocks(CMD_SET_ADDRESS).size(), 3u);
    emu.resetLog();
    EXPECT_EQ(commands.Write(db[0]), CommandResult::Completed);
    EXPECT_EQ(blocks(CMD_SET_ADDRESS).size(), 3u); // the stream and two pages
    EXPECT_EQ(completeLines(),
              (std::vector<std::string>{"005:Write Complete!", "004:Erase Complete!"}));
}

TEST_F(Safeguard, WritingOverOldDataIsACheckFailureNotProtection) {
    useChip(kW25Q32);
    ASSERT_TRUE(emu.setImage(Bytes(kW25Q32.size, 0x0F)));
    load(Bytes(512, 0xF0));
    EXPECT_EQ(commands.Write(db[0]), CommandResult::CheckFailed);
    EXPECT_EQ(engine.lastTakeCheck(), TakeCheck::Differs);
}

} // namespace
} // namespace vantor::test

namespace vantor::test {
namespace {

// A 32 MiB chip of each way into 4-byte addressing: erased, written and
// verified, then read back exactly; the same chip driven the wrong way
// stays in 3-byte mode and fails the verify.
TEST_F(Safeguard, ThirtyTwoMiBRoundTripsForEachFourByteEntry) {
    struct Case {
        std::uint32_t id;
        FourByteEntry wrong;
    };
    const Case cases[] = {{0xEF4019, FourByteEntry::BankRegister},   // W25Q256JV: B7
                          {0x20BA19, FourByteEntry::EnterB7},        // MT25QL256: 06 B7
                          {0x010219, FourByteEntry::WriteEnableB7}}; // S25FL256S: 17 80
    const Bytes image = RandomBytes(32u << 20, 22);
    ASSERT_FALSE(std::equal(image.begin(), image.begin() + (16 << 20), image.begin() + (16 << 20)));
    for (const Case& c : cases) {
        const ChipSpec chip{.family = 0, .size = 32u << 20, .delay = 6400, .id = c.id};
        useChip(chip, "DudOVEDuro Device", "[bus]\nlog = 0\n");
        load(image);
        engine.FourByteEntryOverride.reset();
        EXPECT_EQ(commands.Auto(Record(chip), {}), CommandResult::Completed) << std::hex << c.id;
        std::fill(buffer->data(), buffer->data() + chip.size, 0x00);
        EXPECT_EQ(commands.Read(Record(chip)), CommandResult::Completed);
        EXPECT_TRUE(bufferBytes(chip.size) == image) << std::hex << c.id;

        useChip(chip, "DudOVEDuro Device", "[bus]\nlog = 0\n");
        load(image);
        engine.FourByteEntryOverride = c.wrong;
        EXPECT_EQ(commands.Auto(Record(chip), {}), CommandResult::CheckFailed) << std::hex << c.id;
        EXPECT_FALSE(emu.image() == image);
    }
    engine.FourByteEntryOverride.reset();
}

} // namespace
} // namespace vantor::test
