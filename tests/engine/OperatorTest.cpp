// Stop, Unprotect, the whole-truth verify, read twice and the erase poll
// bound, against the emulator.
#include "cli/OperatorCommands.h"
#include "tests/engine/EngineTestSupport.h"

#include <csignal>

using namespace vantor;
using namespace vantor::test;

namespace {

constexpr ChipSpec kFlash{.family = 0, .size = 16384, .page = 256, .delay = 100};

class Operator : public EngineFixture {
protected:
    // Buffer and chip as `c` needs them to run to its end.
    void prepare(Command c, const ChipSpec& chip) {
        load(RandomBytes(chip.size, 7));
        if (c == Command::Verify) {
            ASSERT_TRUE(emu.setImage(bufferBytes(chip.size)));
        }
    }
    // How many transfers (event pumps) `c` makes when nobody stops it.
    long pumpsOf(Command c, const ChipSpec& chip) {
        useChip(chip, "DudOVEDuro Device", "", 6);
        prepare(c, chip);
        host.clear();
        EXPECT_EQ(run(c, Record(chip)), CommandResult::Completed) << Name(c);
        return host.pumps;
    }
    std::vector<std::string> lines(const std::string& part) const {
        std::vector<std::string> out;
        for (const auto& line : host.log) {
            if (line.find(part) != std::string::npos) {
                out.push_back(line);
            }
        }
        return out;
    }
};

enum class StopBy { Window, Signal };

class StopAt : public Operator,
               public ::testing::WithParamInterface<std::tuple<Command, int, StopBy>> {};

// A stop at the first, a middle or the last transfer: the programmer gets its
// finish block and is closed, the log names the address, nothing says
// complete, no beep, the controls unlocked; through the host's flag (Esc, the
// menu) and through SIGINT as vantor-cli receives it.
TEST_P(StopAt, EndsTheCommandAtTheNextTransfer) {
    const auto [command, where, by] = GetParam();
    const long total = pumpsOf(command, kFlash);
    ASSERT_GT(total, 2);
    const long at = where == 0 ? 1 : where == 1 ? total / 2 : total;

    useChip(kFlash, "DudOVEDuro Device", "", 6);
    prepare(command, kFlash);
    host.clear();
    host.log.clear();
    std::optional<StopOnSignals> signals;
    if (by == StopBy::Signal) {
        signals.emplace(host);
    }
    host.onPump = [&] {
        if (host.pumps == at) {
            if (by == StopBy::Signal) {
                std::raise(SIGINT);
            } else {
                host.requestStop();
            }
        }
    };
    emu.resetLog();
    EXPECT_EQ(run(command, Record(kFlash)), CommandResult::Stopped);
    signals.reset();
    EXPECT_EQ(host.pumps, at); // not one transfer more
    // A chip erase is under way in the chip once sent: no address is named.
    ASSERT_EQ(lines(command == Command::Erase ? Message(Own::StoppedAfterChipErase)
                                              : std::string("Stopped"))
                  .size(),
              1u);
    EXPECT_TRUE(completeLines().empty());
    EXPECT_EQ(host.count("beep"), 0);
    EXPECT_TRUE(host.errors().empty());
    EXPECT_FALSE(host.locked);
    EXPECT_FALSE(host.stopRequested());
    EXPECT_EQ(emu.opcodes().back(), CMD_FINISH);
    EXPECT_EQ(emu.openHandles(), 0);
    // The next command runs normally.
    prepare(command, kFlash);
    EXPECT_EQ(run(command, Record(kFlash)), CommandResult::Completed);
}

std::string StopCaseName(const ::testing::TestParamInfo<std::tuple<Command, int, StopBy>>& p) {
    static const char* const kPlaces[] = {"First", "Middle", "Last"};
    return std::string(Name(std::get<0>(p.param))) + kPlaces[std::get<1>(p.param)] +
           (std::get<2>(p.param) == StopBy::Window ? "Window" : "Signal");
}

INSTANTIATE_TEST_SUITE_P(AllCommands, StopAt,
                         ::testing::Combine(::testing::ValuesIn(kAllCommands),
                                            ::testing::Values(0, 1, 2),
                                            ::testing::Values(StopBy::Window, StopBy::Signal)),
                         StopCaseName);

// A stop that came before the command began (Ctrl+C while the input file
// loaded) sends nothing to the chip: no erase, no data block.
TEST_F(Operator, AStopBeforeTheFirstTransferSendsNothing) {
    useChip(kFlash);
    for (const Command command : kAllCommands) {
        SCOPED_TRACE(Name(command));
        prepare(command, kFlash);
        const Bytes before = emu.image();
        emu.resetLog();
        host.requestStop();
        EXPECT_EQ(run(command, Record(kFlash)), CommandResult::Stopped);
        EXPECT_TRUE(emu.commands().empty());
        EXPECT_EQ(emu.image(), before);
        EXPECT_TRUE(completeLines().empty());
        host.clear();
        host.log.clear();
    }
}

TEST_F(Operator, StoppedReadNamesTheAddressReached) {
    useChip(kFlash);
    host.onPump = [&] {
        if (host.pumps == 3) {
            host.requestStop();
        }
    };
    EXPECT_EQ(commands.Read(Record(kFlash)), CommandResult::Stopped);
    EXPECT_EQ(host.log.front(), "001:Stopped at address 300h");
    SetCurrentLanguage(SimplifiedChinese);
    host.onPump = [&] { host.requestStop(); };
    EXPECT_EQ(commands.Read(Record(kFlash)), CommandResult::Stopped);
    EXPECT_EQ(host.log.front(), "002:已停止，地址: 100h");
}

// ---- write protection ---------------------------------------------------------------------

TEST_F(Operator, ProtectedChipFailsUntilUnprotected) {
    useChip(kFlash, "DudOVEDuro Device", "protect = all\n");
    ASSERT_TRUE(emu.setImage(Bytes(kFlash.size, 0x5A)));
    load(RandomBytes(kFlash.size, 3));
    EXPECT_EQ(commands.Auto(Record(kFlash), {}), CommandResult::Protected);
    ASSERT_EQ(host.errors().size(), 1u);
    EXPECT_NE(host.errors()[0].find("\nthe chip may be write-protected: try Unprotect"),
              std::string::npos);
    EXPECT_EQ(emu.image(), Bytes(kFlash.size, 0x5A)); // neither erased nor programmed
    // An erase the chip ignored fails; a blank check after it says why it may be.
    host.clear();
    EXPECT_EQ(commands.Erase(Record(kFlash)), CommandResult::Protected);
    EXPECT_EQ(commands.BlankCheck(Record(kFlash)), CommandResult::CheckFailed);
    EXPECT_EQ(host.errors().back(),
              "The chip is not empty.\nthe chip may be write-protected: try Unprotect");
    // A check with no erase or write before it gives no such hint.
    host.clear();
    EXPECT_EQ(commands.BlankCheck(Record(kFlash)), CommandResult::CheckFailed);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{"The chip is not empty."}));

    emu.resetLog();
    host.clear();
    EXPECT_EQ(commands.Unprotect(Record(kFlash)), CommandResult::Completed);
    const auto spi = blocks(CMD_SPI_COMMAND);
    ASSERT_EQ(spi.size(), 2u);
    EXPECT_EQ(std::vector<int>(spi[0].begin() + 3, spi[0].begin() + 5),
              (std::vector<int>{1, 0x06}));
    EXPECT_EQ(std::vector<int>(spi[1].begin() + 3, spi[1].begin() + 6),
              (std::vector<int>{2, 0x01, 0x00}));
    EXPECT_EQ(host.log.front().substr(host.log.front().find(':') + 1),
              "Unprotect: sent 06h, 01h 00h");
    EXPECT_EQ(commands.Auto(Record(kFlash), {}), CommandResult::Completed);
    EXPECT_EQ(emu.image(), bufferBytes(kFlash.size));
}

TEST_F(Operator, PartialAndRegisterProtection) {
    // BP = 6 guards the upper half: only that half differs after Auto.
    useChip(kFlash, "DudOVEDuro Device", "protect = 6\n");
    load(RandomBytes(kFlash.size, 4));
    EXPECT_EQ(commands.Auto(Record(kFlash), {.erase = false}), CommandResult::CheckFailed);
    std::uint64_t expected = 0;
    for (std::uint32_t i = 0; i < kFlash.size / 2; ++i) {
        expected += buffer->data()[kFlash.size / 2 + i] != 0xFF;
    }
    EXPECT_EQ(engine.lastVerify().count, expected);
    EXPECT_EQ(engine.lastVerify().first.front().address >= kFlash.size / 2, true);

    // An SST26 locks its blocks in a register: 98h after a write enable.
    ChipSpec sst = kFlash;
    sst.id = 0xBF2641;
    useChip(sst, "DudOVEDuro Device", "protect = global\n");
    load(RandomBytes(sst.size, 5));
    emu.resetLog();
    EXPECT_EQ(commands.Auto(Record(sst), {.unprotect = true}), CommandResult::Completed);
    const auto spi = blocks(CMD_SPI_COMMAND);
    ASSERT_EQ(spi.size(), 4u);
    EXPECT_EQ(spi[2][4], 0x06);
    EXPECT_EQ(spi[3][4], 0x98);

    // Other families have no such step.
    host.clear();
    EXPECT_EQ(commands.Unprotect(Record({.family = 1, .size = 256, .page = 8})),
              CommandResult::UnusableRecord);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{"Unprotect applies to SPI flash only."}));
}

// ---- verify, blank, read twice and write+verify tell the whole truth ------------------

TEST_F(Operator, VerifyCountsEveryDifferenceAndLogsTheFirstSixteen) {
    useChip(kFlash);
    load(RandomBytes(kFlash.size, 9));
    Bytes chip = bufferBytes(kFlash.size);
    for (std::uint32_t at = 100; at < 100 + 20 * 300; at += 300) {
        chip[at] ^= 0x01;
    }
    ASSERT_TRUE(emu.setImage(chip));
    std::vector<std::uint32_t> listed;
    engine.OnDifference = [&](const ByteDifference& d) { listed.push_back(d.address); };
    EXPECT_EQ(commands.Verify(Record(kFlash)), CommandResult::CheckFailed);
    EXPECT_EQ(listed.size(), 20u);
    EXPECT_EQ(engine.lastVerify().count, 20u);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{"Flash check error address:64h"}));
    EXPECT_EQ(lines("Verify: bytes that differ: 20").size(), 1u);
    EXPECT_EQ(lines(": chip ").size(), 16u);
    char first[64];
    std::snprintf(first, sizeof first, "64h: chip %02X, buffer %02X", chip[100],
                  buffer->data()[100]);
    EXPECT_NE(host.log[host.log.size() - 2].find(first), std::string::npos);
}

// bitflip and lost_write at the first, a middle and the last data transfer are
// caught by every path that reads back.
TEST_F(Operator, DataLiesAreCaughtByEveryReadBack) {
    enum Path { VerifyPath, AutoPath, WriteThenVerify, BlankAfterErase, ReadTwicePath };
    for (const char* fault : {"bitflip", "lost_write"}) {
        for (const Path path :
             {VerifyPath, AutoPath, WriteThenVerify, BlankAfterErase, ReadTwicePath}) {
            const bool lie = std::string(fault) == "lost_write";
            if (lie && (path == VerifyPath || path == BlankAfterErase || path == ReadTwicePath)) {
                continue; // nothing is written on these paths
            }
            // The transfers the fault can hit, from a clean run.
            const int kind = lie ? VANTOR_EMU_DATA_OUT : VANTOR_EMU_DATA_IN;
            auto runPath = [&]() {
                load(RandomBytes(kFlash.size, 11));
                if (path == VerifyPath || path == ReadTwicePath) {
                    EXPECT_TRUE(emu.setImage(bufferBytes(kFlash.size)));
                }
                switch (path) {
                case VerifyPath:
                    return commands.Verify(Record(kFlash));
                case AutoPath:
                    return commands.Auto(Record(kFlash), {});
                case WriteThenVerify: {
                    const CommandResult r = commands.Write(Record(kFlash));
                    return r == CommandResult::Completed ? commands.Verify(Record(kFlash)) : r;
                }
                case BlankAfterErase: {
                    const CommandResult r = commands.Erase(Record(kFlash));
                    return r == CommandResult::Completed ? commands.BlankCheck(Record(kFlash)) : r;
                }
                case ReadTwicePath:
                    break;
                }
                return commands.ReadTwice(Record(kFlash));
            };
            useChip(kFlash);
            emu.resetLog();
            ASSERT_EQ(runPath(), CommandResult::Completed);
            std::vector<long> candidates;
            for (const auto& e : emu.events(kind)) {
                candidates.push_back(e.transfer);
            }
            if (path == ReadTwicePath) {
                candidates.resize(candidates.size() / 2); // the first read lies
            }
            ASSERT_GE(candidates.size(), 3u);
            for (const long at :
                 {candidates.front(), candidates[candidates.size() / 2], candidates.back()}) {
                useChip(kFlash, "DudOVEDuro Device",
                        "[faults]\n" + std::string(fault) + "_at = " + std::to_string(at) + "\n");
                host.clear();
                // Caught by a verify or blank check, or already by the sample
                // pages after the erase or write.
                const CommandResult caught = runPath();
                EXPECT_TRUE(caught == CommandResult::CheckFailed ||
                            caught == CommandResult::Protected)
                    << fault << " path " << path << " transfer " << at;
            }
        }
    }
}

TEST_F(Operator, ReadTwiceNamesTheFirstDifference) {
    useChip(kFlash, "DudOVEDuro Device", "[faults]\nbitflip_rate = 0.02\nseed = 3\n");
    const CommandResult result = commands.ReadTwice(Record(kFlash));
    ASSERT_EQ(result, CommandResult::CheckFailed);
    ASSERT_EQ(host.errors().size(), 1u);
    EXPECT_EQ(host.errors()[0].rfind("The two reads differ, first at address ", 0), 0u);
    EXPECT_TRUE(completeLines().empty());
}

TEST_F(Operator, EraseStillBusyAfterTenBudgetsFails) {
    useChip(kFlash, "DudOVEDuro Device", "", 1000000);
    EXPECT_EQ(commands.Erase(Record(kFlash)), CommandResult::TransferFailed);
    EXPECT_EQ(blocks(CMD_READ_STATUS).size(), 10u * (kFlash.delay + 2));
    EXPECT_EQ(host.errors(),
              (std::vector<std::string>{"Erase failed: the chip still reports busy after status "
                                        "polls: 1020"}));
    EXPECT_TRUE(completeLines().empty());
    // A slow chip that finishes within the bound is an erase like any other.
    useChip(kFlash, "DudOVEDuro Device", "", 500);
    host.clear();
    EXPECT_EQ(commands.Erase(Record(kFlash)), CommandResult::Completed);
    EXPECT_EQ(completeLines().size(), 1u);
}

} // namespace
