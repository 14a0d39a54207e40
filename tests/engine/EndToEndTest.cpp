// Whole commands against emulated chips of every family, and every command
// with a transfer fault injected at its first, a middle and its last transfer.
#include "tests/engine/EngineTestSupport.h"

#include <cctype>
#include <cstdio>

using namespace vantor;
using namespace vantor::test;

namespace {

struct Part {
    const char* name;
    ChipSpec chip;
};

const Part kParts[] = {
    {"W25X40-like SPI flash", {.family = 0, .size = 64 * 1024, .page = 256, .id = 0xEF4013}},
    {"24C16", {.family = 1, .size = 2048, .page = 16, .subType = 0, .id = 0}},
    {"93C66 x8", {.family = 2, .size = 512, .page = 1, .subType = 9, .id = 0}},
    {"93C66 x16", {.family = 2, .size = 512, .page = 2, .subType = 89, .id = 0}},
    {"25LC640", {.family = 3, .size = 8192, .page = 32, .subType = 1, .id = 0}},
    {"M95256", {.family = 4, .size = 32768, .page = 64, .subType = 1, .id = 0}},
};

class EndToEnd : public EngineFixture,
                 public ::testing::WithParamInterface<std::tuple<int, bool>> {};

std::string HexAddressOf(std::size_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%Xh", unsigned(address));
    return text;
}

} // namespace

TEST_P(EndToEnd, AutoThenReadRoundTrip) {
    const Part& part = kParts[std::get<0>(GetParam())];
    const char* product = std::get<1>(GetParam()) ? "DudOVEDuro" : "DudOVEDuro Device";
    const ChipRecord chip = Record(part.chip);
    useChip(part.chip, product);
    ASSERT_TRUE(emu.setImage(RandomBytes(part.chip.size, 99)));
    Bytes image = RandomBytes(part.chip.size, 1234);
    image.back() = 0x5A; // not 0xFF, so a read gives the whole size back
    load(image);

    EXPECT_EQ(commands.Auto(chip, {}), CommandResult::Completed) << part.name;
    EXPECT_EQ(emu.image(), image) << part.name;
    EXPECT_EQ(host.log.front(), "001:AUTO Complete!");

    std::fill(buffer->data(), buffer->data() + part.chip.size, 0x00);
    buffer->UsedLength = 0;
    EXPECT_EQ(commands.Read(chip), CommandResult::Completed) << part.name;
    EXPECT_EQ(bufferBytes(part.chip.size), image) << part.name;
    EXPECT_EQ(buffer->UsedLength, std::int32_t(part.chip.size));
    EXPECT_EQ(host.log.front(), "002:Read Complete!");
    EXPECT_TRUE(host.errors().empty()) << host.errors().front();
}

INSTANTIATE_TEST_SUITE_P(Families, EndToEnd,
                         ::testing::Combine(::testing::Range(0, int(std::size(kParts))),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<EndToEnd::ParamType>& param) {
                             std::string name = kParts[std::get<0>(param.param)].name;
                             name += std::get<1>(param.param) ? "_BigEndian" : "_LittleEndian";
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

class Flash : public EngineFixture {};

TEST_F(Flash, WriteWithoutEraseFailsVerifyWhereProgrammingCannotSetBits) {
    const ChipSpec chip{.family = 0, .size = 65536};
    useChip(chip);
    const Bytes old = RandomBytes(65536, 5);
    ASSERT_TRUE(emu.setImage(old));
    // The new image agrees with what AND-programming can reach for a while.
    Bytes next = RandomBytes(65536, 6);
    for (std::size_t i = 0; i < 40000; ++i) {
        next[i] &= old[i];
    }
    load(next);
    std::size_t first = 0;
    while ((old[first] & next[first]) == next[first]) {
        ++first;
    }
    ASSERT_GE(first, 40000u);

    // The last page written reads back wrong: the write itself fails, as
    // old bits only partly take new data (not protection: cells changed).
    const std::string hint = "\nthe chip may be write-protected: try Unprotect";
    EXPECT_EQ(commands.Write(Record(chip)), CommandResult::CheckFailed);
    EXPECT_EQ(engine.lastTakeCheck(), TakeCheck::Differs);
    EXPECT_TRUE(completeLines().empty());
    EXPECT_EQ(commands.Verify(Record(chip)), CommandResult::CheckFailed);
    // Right after a write, a failed check suggests the protection.
    ASSERT_EQ(host.errors().size(), 2u);
    EXPECT_EQ(host.errors()[0].rfind("Write did not take: the chip differs from the buffer", 0),
              0u);
    EXPECT_EQ(host.errors()[1], "Flash check error address:" + HexAddressOf(first) + hint);
    EXPECT_EQ(host.log.size(), 2u + VerifyReport::kKept);
}

TEST_F(Flash, ThirtyTwoMiBRoundTrip) {
    const ChipSpec chip{.family = 0, .size = 32u << 20, .id = 0xEF4019};
    useChip(chip, "DudOVEDuro", "[bus]\nlog = 0\n");
    const Bytes image = RandomBytes(chip.size, 32);
    load(image);
    EXPECT_EQ(commands.Auto(Record(chip), {}), CommandResult::Completed);
    EXPECT_EQ(emu.image(), image);
    std::fill(buffer->data(), buffer->data() + chip.size, 0x00);
    EXPECT_EQ(commands.Read(Record(chip)), CommandResult::Completed);
    EXPECT_EQ(bufferBytes(chip.size), image);
    EXPECT_TRUE(host.errors().empty());
}

// ---- faults ------------------------------------------------------------------------------

namespace {

class Faults : public EngineFixture {
protected:
    // Chip and buffer as each command expects to find them.
    void prepare(Command c, const ChipSpec& chip) {
        const Bytes data = RandomBytes(chip.size, 77);
        switch (c) {
        case Command::Read:
        case Command::Erase:
            ASSERT_TRUE(emu.setImage(RandomBytes(chip.size, 78)));
            break;
        case Command::Verify:
            ASSERT_TRUE(emu.setImage(data));
            load(data);
            break;
        case Command::Write:
        case Command::Auto:
            ASSERT_TRUE(emu.setImage(Bytes(chip.size, 0xFF)));
            load(data);
            break;
        case Command::Blank:
            break;
        }
    }
    // Transfer numbers of a clean run, the closing finish commands left out:
    // once the operation has ended, a lost finish changes nothing the user
    // is told.
    std::vector<long> transfersOf(Command c, const ChipSpec& chip) {
        useChip(chip);
        prepare(c, chip);
        EXPECT_EQ(run(c, Record(chip)), CommandResult::Completed);
        std::vector<long> out;
        for (const auto& e : emu.events()) {
            const bool finish = e.kind == VANTOR_EMU_COMMAND && e.data[1] == CMD_FINISH;
            if (e.transfer > 0 && !finish) {
                out.push_back(e.transfer);
            }
        }
        return out;
    }
};

} // namespace

TEST_F(Faults, EveryInjectedFaultIsReported) {
    const ChipSpec chips[] = {{.family = 0, .size = 16384, .page = 256},
                              {.family = 1, .size = 1024, .page = 16, .id = 0}};
    const char* const kinds[] = {"unplug_at", "timeout_at", "short_read_at", "stall_at"};
    int runs = 0;
    for (const ChipSpec& chip : chips) {
        for (Command c : kAllCommands) {
            const std::string name = Name(c);
            const std::vector<long> transfers = transfersOf(c, chip);
            ASSERT_GE(transfers.size(), 3u) << name;
            const long at[] = {transfers.front(), transfers[transfers.size() / 2],
                               transfers.back()};
            for (const char* kind : kinds) {
                for (long n : at) {
                    std::string faults =
                        "[faults]\n" + std::string(kind) + " = " + std::to_string(n) + "\n";
                    if (std::string(kind) == "short_read_at") {
                        faults += "short_write_at = " + std::to_string(n) + "\n";
                    }
                    const std::string what = name + " family " + std::to_string(chip.family) + " " +
                                             kind + " " + std::to_string(n);
                    useChip(chip, "DudOVEDuro Device", faults);
                    prepare(c, chip);
                    host.clear();
                    host.log.clear();
                    const CommandResult result = run(c, Record(chip));
                    ++runs;
                    EXPECT_NE(result, CommandResult::Completed) << what;
                    EXPECT_FALSE(host.errors().empty()) << what;
                    EXPECT_TRUE(completeLines().empty()) << what;
                    EXPECT_EQ(host.count("beep"), 0) << what;
                    EXPECT_FALSE(host.locked) << what;
                    EXPECT_FALSE(commands.busy()) << what;
                    EXPECT_FALSE(link.isOpen()) << what;
                    EXPECT_EQ(emu.openHandles(), 0) << what;
                    EXPECT_EQ(host.status, "Ready") << what;

                    // Plugged back in, the same command goes through.
                    emu.plug();
                    host.clear();
                    EXPECT_EQ(run(c, Record(chip)), CommandResult::Completed) << what;
                    EXPECT_EQ(completeLines().size(), 1u) << what;
                    if (c == Command::Write || c == Command::Auto) {
                        EXPECT_EQ(emu.image(), bufferBytes(chip.size)) << what;
                    }
                }
            }
        }
    }
    EXPECT_EQ(runs, 2 * 6 * 4 * 3);
}

TEST_F(Faults, FailureBoxNamesTheOperationAndTheAddressReached) {
    const ChipSpec chip{.family = 0, .size = 16384, .page = 256};
    const std::vector<long> transfers = transfersOf(Command::Read, chip);
    // The data reads are the last 64 transfers: the 11th chunk starts at 0xA00.
    const long eleventh = transfers[transfers.size() - 64 + 10];
    useChip(chip, "DudOVEDuro Device", "[faults]\nunplug_at = " + std::to_string(eleventh) + "\n");
    host.clear();
    EXPECT_EQ(commands.Read(Record(chip)), CommandResult::TransferFailed);
    EXPECT_EQ(host.errors(),
              (std::vector<std::string>{"Read: USB transfer failed at address A00h"}));
    EXPECT_TRUE(host.kind("elapsed:").empty());
    // The first failed transfer ends it: nothing more is tried on the dead device.
    long after = 0;
    for (const auto& e : emu.events()) {
        after += e.transfer > eleventh && e.kind != VANTOR_EMU_COMMAND;
    }
    EXPECT_EQ(after, 0);
    EXPECT_EQ(host.count("refresh"), 1); // the pane shows what did arrive

    SetCurrentLanguage(TraditionalChinese);
    useChip(chip, "DudOVEDuro Device", "[faults]\ntimeout_at = 1\n");
    host.clear();
    EXPECT_EQ(commands.Erase(Record(chip)), CommandResult::TransferFailed);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{"讀取芯片ID：USB 傳輸失敗，地址: 0h"}));
}

TEST_F(Faults, AWriteThatLiesIsCaughtByVerify) {
    const ChipSpec chip{.family = 0, .size = 16384, .page = 256};
    useChip(chip);
    prepare(Command::Auto, chip);
    ASSERT_EQ(commands.Auto(Record(chip), {}), CommandResult::Completed);
    const auto writes = emu.events(VANTOR_EMU_DATA_OUT);
    ASSERT_EQ(writes.size(), 64u);
    const long lying = writes[20].transfer;

    useChip(chip, "DudOVEDuro Device", "[faults]\nlost_write_at = " + std::to_string(lying) + "\n");
    prepare(Command::Auto, chip);
    host.clear();
    host.log.clear();
    EXPECT_EQ(commands.Auto(Record(chip), {}), CommandResult::CheckFailed);
    ASSERT_EQ(host.errors().size(), 1u);
    EXPECT_EQ(host.errors()[0].rfind("Flash check error address:", 0), 0u);
    const std::uint32_t at = std::stoul(host.errors()[0].substr(26), nullptr, 16);
    EXPECT_GE(at, 20u * 256);
    EXPECT_LT(at, 21u * 256);
    EXPECT_TRUE(completeLines().empty());
}

TEST_F(Flash, BytesPastTheUsedLengthGoOutErasedAndVerify) {
    // A large file once, then sixteen bytes of it in use (a fill 0..F): the
    // page tail on the chip must not carry the old file's bytes.
    const ChipSpec part{.family = 0, .size = 64 * 1024, .page = 256, .id = 0xEF4013};
    const ChipRecord chip = Record(part);
    useChip(part);
    ASSERT_TRUE(emu.setImage(RandomBytes(part.size, 5)));
    load(RandomBytes(200 * 1024, 6));
    buffer->UsedLength = 16;
    const Bytes used = bufferBytes(16);
    EXPECT_EQ(commands.Auto(chip, {}), CommandResult::Completed);
    EXPECT_EQ(host.log.front(), "001:AUTO Complete!");
    Bytes expected = used;
    expected.resize(part.size, 0xFF);
    EXPECT_EQ(emu.image(), expected);
    EXPECT_EQ(bufferBytes(256), Bytes(expected.begin(), expected.begin() + 256)); // the pane agrees
    EXPECT_EQ(host.count("refresh"), 1);
}
