// The six chip commands as the user starts them: checks, order of effects,
// failures, timing and the one-command-at-a-time rule.
#include "tests/engine/EngineTestSupport.h"

using namespace vantor;
using namespace vantor::test;

namespace {

class Commands : public EngineFixture {
protected:
    // Times of day handed to the command: start at `start`, stop `seconds` later.
    void clockRuns(double start, double seconds) {
        host.clock = {start, start + seconds / 86400.0};
    }
};

} // namespace

TEST_F(Commands, PresenceCheckPerCommandAndFamily) {
    for (int family = 0; family < 5; ++family) {
        // A 93-series record needs one of its organisation codes.
        const ChipSpec chip{.family = family,
                            .size = 4096,
                            .page = 16,
                            .subType = std::uint8_t(family == 2 ? 11 : 0)};
        for (Command c : kAllCommands) {
            useChip(chip);
            load(Bytes(16, 0xFF));
            host.answers = {true};
            run(c, Record(chip));
            const auto ops = emu.opcodes();
            const bool asked = !ops.empty() && ops.front() == CMD_READ_ID;
            const bool skips = family >= 3 && (c == Command::Read || c == Command::Write);
            EXPECT_EQ(asked, !skips) << Name(c) << " family " << family;
            EXPECT_EQ(std::count(ops.begin(), ops.end(), int(CMD_CHIP_SETUP)), 1);
        }
    }
}

TEST_F(Commands, NoChipInTheSocket) {
    configure("[programmer]\nchip = none\n");
    for (Command c : kAllCommands) {
        emu.resetLog();
        host.clear();
        load(Bytes(16, 0x00));
        EXPECT_EQ(run(c, Record({})), CommandResult::NoChip) << Name(c);
        EXPECT_EQ(host.errors(), (std::vector<std::string>{
                                     "No chips detected, please put the chip to try again!"}));
        // The programmer was opened for the question only.
        EXPECT_EQ(emu.opcodes(), (std::vector<int>{CMD_READ_ID, CMD_FINISH}));
        EXPECT_EQ(host.status, "Ready");
        EXPECT_FALSE(host.locked);
    }
}

TEST_F(Commands, NoProgrammer) {
    configure("[programmer]\nplugged = 0\n");
    for (Command c : kAllCommands) {
        host.clear();
        load(Bytes(16, 0x00));
        EXPECT_EQ(run(c, Record({})), CommandResult::NoProgrammer) << Name(c);
        EXPECT_EQ(host.errors(), (std::vector<std::string>{"Not connected"}));
        EXPECT_EQ(host.status, "Ready"); // the close runs all the same
        EXPECT_EQ(host.count("beep"), 0);
        EXPECT_TRUE(host.kind("elapsed:").empty());
        EXPECT_TRUE(host.log.empty());
        EXPECT_FALSE(host.locked);
    }
    EXPECT_EQ(emu.transfers(), 0);
}

TEST_F(Commands, EmptyBufferRightAfterStartUp) {
    useChip({});
    for (Command c : {Command::Write, Command::Verify, Command::Auto}) {
        host.clear();
        EXPECT_EQ(run(c, Record({})), CommandResult::EmptyBuffer);
        EXPECT_EQ(host.trace, (std::vector<std::string>{
                                  "sync", "error:The buffer data is empty. Please load the data "
                                          "file.."}));
    }
    EXPECT_EQ(emu.events().size(), 0u); // the programmer was never opened
}

TEST_F(Commands, EditsAreTakenIntoTheBufferBeforeTheCheck) {
    const ChipSpec chip{.size = 4096};
    useChip(chip);
    const Bytes image = RandomBytes(4096, 2);
    ASSERT_TRUE(emu.setImage(image));
    host.onSync = [&] { load(Bytes(image.begin(), image.begin() + 512)); };
    EXPECT_EQ(commands.Verify(Record(chip)), CommandResult::Completed);
    EXPECT_EQ(host.log, (std::vector<std::string>{"001:Verify Complete!"}));
}

TEST_F(Commands, OrderOfEffects) {
    const ChipSpec chip{.size = 4096};
    useChip(chip);
    ASSERT_TRUE(emu.setImage(RandomBytes(4096, 4)));
    clockRuns(0.5, 0);
    EXPECT_EQ(commands.Read(Record(chip)), CommandResult::Completed);
    // Read: elapsed, beep, then the line; "Ready" last.
    const std::vector<std::string> readTail = {"elapsed:00:00:00", "beep", "log:001:Read Complete!",
                                               "unlock", "status:Ready"};
    EXPECT_EQ(std::vector<std::string>(host.trace.end() - 5, host.trace.end()), readTail);
    EXPECT_LT(host.position("status:Read Flash ..."), host.position("elapsed:"));

    // Verify logs before the time is written.
    host.clear();
    clockRuns(0.5, 3);
    EXPECT_EQ(commands.Verify(Record(chip)), CommandResult::Completed);
    const std::vector<std::string> verifyTail = {"log:002:Verify Complete!", "elapsed:00:00:03",
                                                 "beep", "unlock", "status:Ready"};
    EXPECT_EQ(std::vector<std::string>(host.trace.end() - 5, host.trace.end()), verifyTail);
    EXPECT_NEAR(commands.StopTime - commands.StartTime, 3 / 86400.0, 1e-12);
}

TEST_F(Commands, ReadOfABlankChipSaysSoEveryTime) {
    useChip({.size = 4096});
    for (int round = 1; round <= 2; ++round) {
        host.clear();
        EXPECT_EQ(commands.Read(Record({.size = 4096})), CommandResult::Completed);
        EXPECT_EQ(buffer->UsedLength, 0);
        // The line first, the box after the close.
        const int line = host.position("log:");
        const int close = host.lastPosition("status:Ready");
        EXPECT_LT(line, close);
        EXPECT_EQ(host.trace.back(), "error:The chip is empty!");
    }
    EXPECT_EQ(host.log, (std::vector<std::string>{"002:Read Complete!", "001:Read Complete!"}));
}

TEST_F(Commands, FailedChecksStillTimeAndBeep) {
    const ChipSpec chip{.size = 4096};
    useChip(chip);
    Bytes image(4096, 0xFF);
    image[7] = 0;
    ASSERT_TRUE(emu.setImage(image));
    EXPECT_EQ(commands.BlankCheck(Record(chip)), CommandResult::CheckFailed);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{"The chip is not empty."}));
    EXPECT_EQ(host.count("beep"), 1);
    EXPECT_EQ(host.kind("elapsed:").size(), 1u);
    host.clear();
    load(Bytes(4096, 0xFF));
    EXPECT_EQ(commands.Verify(Record(chip)), CommandResult::CheckFailed);
    EXPECT_EQ(host.errors(), (std::vector<std::string>{"Flash check error address:7h"}));
    EXPECT_EQ(host.count("beep"), 1);
    // The log says how much differs, no "Complete!".
    EXPECT_EQ(host.log, (std::vector<std::string>{"002:7h: chip 00, buffer FF",
                                                  "001:Verify: bytes that differ: 1"}));
}

TEST_F(Commands, DeclinedWrite) {
    const ChipSpec chip{.size = 4096};
    useChip(chip);
    ASSERT_TRUE(emu.setImage(RandomBytes(4096, 8)));
    const Bytes before = emu.image();
    load(RandomBytes(8192, 1));
    host.answers = {false};
    EXPECT_EQ(commands.Write(Record(chip)), CommandResult::Declined);
    EXPECT_EQ(host.count("beep"), 1); // timed and beeped, not logged
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(emu.image(), before);

    // Auto stops after its erase: no verify, no time, no beep.
    host.clear();
    host.answers = {false};
    EXPECT_EQ(commands.Auto(Record(chip), {}), CommandResult::Declined);
    EXPECT_EQ(host.count("beep"), 0);
    EXPECT_TRUE(host.kind("elapsed:").empty());
    EXPECT_EQ(host.status, "Ready");
    EXPECT_EQ(emu.image(), Bytes(4096, 0xFF));
    const auto ops = emu.opcodes();
    EXPECT_EQ(std::count(ops.begin(), ops.end(), int(CMD_SET_ADDRESS)), 0);
}

TEST_F(Commands, AutoFollowsItsBoxes) {
    const ChipSpec chip{.size = 4096};
    useChip(chip);
    load(RandomBytes(4096, 6));
    clockRuns(0.25, 0);
    EXPECT_EQ(commands.Auto(Record(chip), {false, false, false}), CommandResult::Completed);
    EXPECT_EQ(emu.opcodes(),
              (std::vector<int>{CMD_READ_ID, CMD_FINISH, CMD_CHIP_SETUP, CMD_FINISH}));
    EXPECT_EQ(host.count("beep"), 1);
    EXPECT_EQ(host.elapsed, "00:00:00");
    EXPECT_TRUE(host.log.empty());

    // Verify alone neither erases nor programs.
    emu.resetLog();
    host.clear();
    EXPECT_EQ(commands.Auto(Record(chip), {false, false, true}), CommandResult::CheckFailed);
    auto ops = emu.opcodes();
    EXPECT_EQ(std::count(ops.begin(), ops.end(), int(CMD_ERASE)), 0);
    EXPECT_TRUE(emu.events(VANTOR_EMU_DATA_OUT).empty());

    // All three: the chip then holds the buffer.
    emu.resetLog();
    host.clear();
    EXPECT_EQ(commands.Auto(Record(chip), {}), CommandResult::Completed);
    EXPECT_EQ(host.log.front().substr(3), ":AUTO Complete!");
    EXPECT_EQ(emu.image(), bufferBytes(4096));
    ops = emu.opcodes();
    EXPECT_EQ(std::count(ops.begin(), ops.end(), int(CMD_ERASE)), 1);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), int(CMD_CHIP_SETUP)), 1); // opened once
}

TEST_F(Commands, UnusableRecordsAreRefusedBeforeOpening) {
    useChip({});
    load(Bytes(64, 0));
    const ChipSpec bad[] = {
        {.size = (64u << 20) + 1}, {.size = 128u << 20}, {.page = 0}, {.page = 512}, {.page = 24},
    };
    for (const ChipSpec& s : bad) {
        for (Command c : kAllCommands) {
            host.clear();
            EXPECT_EQ(run(c, Record(s)), CommandResult::UnusableRecord) << Name(c);
            ASSERT_EQ(host.errors().size(), 1u);
            EXPECT_FALSE(host.errors()[0].empty());
        }
    }
    EXPECT_EQ(emu.events().size(), 0u);
}

TEST_F(Commands, AcrossMidnight) {
    useChip({.size = 4096});
    const double tenToMidnight = (23 * 3600 + 59 * 60 + 50) / 86400.0;
    host.clock = {tenToMidnight, 10 / 86400.0};
    commands.Erase(Record({.size = 4096}));
    EXPECT_EQ(host.elapsed, "00:00:20");

    EXPECT_EQ(ElapsedText(0.5, 0.5 + 3723 / 86400.0), "01:02:03");
    EXPECT_EQ(ElapsedText(0.9, 0.1), "04:48:00");
    EXPECT_EQ(ElapsedText(0.0, 0.999 / 86400.0), "00:00:00"); // whole seconds only
}

TEST_F(Commands, OneLogCounterForCommandsAndConnectionLines) {
    useChip({.size = 4096});
    ASSERT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::Ready);
    commands.Erase(Record({.size = 4096}));
    ASSERT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::Ready);
    for (int i = 0; i < 7; ++i) {
        commands.BlankCheck(Record({.size = 4096}));
    }
    ASSERT_EQ(host.log.size(), 10u);
    EXPECT_EQ(host.log[9], "001:The programmer is detected, and the working state is normal.");
    EXPECT_EQ(host.log[8], "002:Erase Complete!");
    EXPECT_EQ(host.log[7], "003:The programmer is detected, and the working state is normal.");
    EXPECT_EQ(host.log[0], "010:Bank Complete!");
}

TEST_F(Commands, OneCommandAtATime) {
    const ChipSpec chip{.size = 4096};
    useChip(chip);
    load(RandomBytes(4096, 11));
    std::vector<CommandResult> nested;
    int probesDuring = 0;
    host.onPump = [&] {
        if (host.pumps == 2) {
            for (Command c : kAllCommands) {
                nested.push_back(run(c, Record(chip)));
            }
            std::uint8_t reply[4] = {};
            EXPECT_EQ(engine.ReadChipId(Record(chip), reply), 0);
            EXPECT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::Deferred);
            ++probesDuring;
        }
    };
    const long before = emu.transfers();
    EXPECT_EQ(commands.Auto(Record(chip), {}), CommandResult::Completed);
    EXPECT_EQ(nested, std::vector<CommandResult>(6, CommandResult::Refused));
    EXPECT_EQ(probesDuring, 1);
    EXPECT_EQ(emu.image(), bufferBytes(4096));
    // The deferred probe ran once the command had ended.
    EXPECT_FALSE(probe.probePending());
    EXPECT_EQ(host.log.front(), "002:The programmer is detected, and the working state is normal.");
    EXPECT_EQ(host.log[1], "001:AUTO Complete!");
    EXPECT_GT(emu.transfers(), before);
    EXPECT_FALSE(commands.busy());
}
