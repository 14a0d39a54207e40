// vantor-cli as a script sees it: the built executable run against the
// emulator, judged by its exit status, its stdout and stderr, and the files
// it leaves.
#include "buffer/Checksum.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFile.h"
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"
#include "chipdb/DatabaseFile.h"
#include "chipdb/NameText.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "emulator/EmulatorClient.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vantor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kChipSize = 4096;

struct Outcome {
    int status = -1; // exit status; -1 after a signal or a time-out
    std::string out;
    std::string err;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Bytes ReadBytes(const fs::path& path) {
    const std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes b(n);
    for (auto& v : b) {
        v = std::uint8_t(random());
    }
    return b;
}

int CountLines(const std::string& text) {
    return int(std::count(text.begin(), text.end(), '\n'));
}

// A program started with stdout and stderr to files named by `tag`.
struct Started {
    pid_t pid = 0;
    fs::path out;
    fs::path err;
};

Started StartProgram(const std::vector<std::string>& args, const fs::path& scratch,
                     const std::string& tag = "") {
    Started run{0, scratch / ("stdout" + tag + ".txt"), scratch / ("stderr" + tag + ".txt")};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, run.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, run.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    if (posix_spawn(&run.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        run.pid = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// Waits for `started`; killed after `timeout`.
Outcome FinishProgram(const Started& started,
                      std::chrono::seconds timeout = std::chrono::seconds(60)) {
    Outcome run;
    if (started.pid == 0) {
        run.err = "spawn failed";
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int wstatus = 0;
    while (waitpid(started.pid, &wstatus, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(started.pid, SIGKILL);
            waitpid(started.pid, &wstatus, 0);
            run.err = "timed out";
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.out = ReadText(started.out);
    run.err = ReadText(started.err);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

// Runs `args` with stdout and stderr to files; killed after `timeout`.
// `whileRunning` gets the child's id once it runs (to send it a signal).
Outcome RunProgram(const std::vector<std::string>& args, const fs::path& scratch,
                   std::chrono::seconds timeout = std::chrono::seconds(60),
                   const std::function<void(pid_t)>& whileRunning = {}) {
    const Started started = StartProgram(args, scratch);
    if (whileRunning && started.pid != 0) {
        whileRunning(started.pid);
    }
    return FinishProgram(started, timeout);
}

std::ostream& operator<<(std::ostream& os, const Outcome& r) {
    return os << "exit " << r.status << "\n--- stdout\n" << r.out << "--- stderr\n" << r.err;
}

struct TestChip {
    const char* type;
    const char* maker;
    const char* name;
    int family;
    std::uint32_t id;
    std::uint16_t page;
};

// One chip per family, 4 KiB each, and a name two makers share.
constexpr TestChip kChips[] = {
    {"SPI_FLASH", "TestMaker", "FLASH4K", 0, 0xEF4012, 16},
    {"24_EEPROM", "TestMaker", "EE24X4K", 1, 0, 16},
    {"93_EEPROM", "TestMaker", "EE93X4K", 2, 0, 16},
    {"25_EEPROM", "TestMaker", "EE25X4K", 3, 0, 16},
    {"95_EEPROM", "TestMaker", "EE95X4K", 4, 0, 16},
    {"SPI_FLASH", "MakerA", "TWIN", 0, 0xC22012, 256},
    {"SPI_FLASH", "MakerB", "TWIN", 0, 0xC22013, 256},
};

std::string Triple(const TestChip& c) {
    return std::string(c.type) + "," + c.maker + "," + c.name;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantor-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        ChipDatabase db;
        int slot = 0;
        for (const TestChip& c : kChips) {
            ChipRecord& r = db[slot++];
            ASSERT_TRUE(SetNameText(r, Triple(c)));
            r.ChipId = c.id;
            r.FlashSize = kChipSize;
            r.FlashPage = c.page;
            r.Family = std::uint8_t(c.family);
            // A 93-series record needs one of its organisation codes.
            r.SubType = c.family == ChipFamily::Eeprom93 ? ChipSubType::Eeprom93C86x8 : 0;
            r.Delay = 100;
        }
        const std::string image = db.Image(slot);
        std::ofstream(dir / "chips.Dat", std::ios::binary).write(image.data(), image.size());
        useChip(kChips[0]);
    }
    void TearDown() override {
        unsetenv("VANTOR_EMULATOR_CONFIG");
        unsetenv("VANTOR_EMULATOR_LOG");
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // The emulator holds `chip`; its contents persist in chip.bin between runs.
    void useChip(const TestChip& chip, const std::string& extra = "",
                 const std::string& programmer = "") {
        char jedec[16];
        std::snprintf(jedec, sizeof jedec, "%06X", unsigned(chip.id == 0 ? 0xEF4012 : chip.id));
        std::ofstream(dir / "emulator.ini", std::ios::trunc)
            << "[programmer]\n"
            << programmer << "[chip]\nfamily = " << chip.family << "\nsize = " << kChipSize
            << "\npage = " << chip.page << "\njedec = " << jedec
            << "\nerase_busy_polls = 2\nimage = " << (dir / "chip.bin").string() << "\n"
            << extra;
        setenv("VANTOR_EMULATOR_CONFIG", (dir / "emulator.ini").c_str(), 1);
    }

    std::vector<std::string> cliArgs(const std::vector<std::string>& args) const {
        std::vector<std::string> all = {VANTOR_CLI_PATH, "--db", (dir / "chips.Dat").string(),
                                        "--usb-library", EmulatorClient::kDefaultPath};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    Outcome cli(const std::vector<std::string>& args,
                const std::function<void(pid_t)>& whileRunning) {
        return RunProgram(cliArgs(args), dir, std::chrono::seconds(60), whileRunning);
    }
    Outcome cli(const std::vector<std::string>& args) { return RunProgram(cliArgs(args), dir); }

    std::string file(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
};

// ---- usage and help --------------------------------------------------------------------

TEST_F(CliTest, HelpForTheToolAndEachCommand) {
    Outcome r = cli({"--help"});
    EXPECT_EQ(r.status, 0) << r;
    for (const char* command : {"chips", "detect", "read", "erase", "blank", "write", "verify",
                                "auto", "convert", "--speed", "--usb-library", "--lang", "devices",
                                "--device", "--json", "--quiet", "--strict", "130"}) {
        EXPECT_NE(r.out.find(command), std::string::npos) << command;
    }
    r = cli({"auto", "--help"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find("--no-verify"), std::string::npos) << r;
}

// Each bad input exits 2 with one line on stderr and nothing on stdout.
TEST_F(CliTest, BadInputExitsTwoWithOneLine) {
    // A hex file with a wrong checksum, a folder, a file one byte too big for
    // the buffer (sparse), an S-record that is too short for its address.
    std::ofstream(file("bad.hex")) << ":0400000001020304F0\n:00000001FF\n";
    fs::create_directory(dir / "folder");
    { std::ofstream big(file("big.bin"), std::ios::binary); }
    fs::resize_file(dir / "big.bin", DataBufferSize + 1u);
    std::ofstream(file("short.s19")) << "S1020000FD\n";
    WriteBytes(file("ok.bin"), RandomBytes(64, 1));

    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"frobnicate"}, "unknown command"},
        {{"erase", "--chip", "FLASH4K", "--forcibly"}, "unknown option --forcibly"},
        {{}, "no command"},
        {{"--speed", "6", "erase", "--chip", "FLASH4K"}, "--speed must be 0 to 5"},
        {{"--speed=-1", "erase", "--chip", "FLASH4K"}, "--speed must be 0 to 5"},
        {{"--speed", "fast", "erase", "--chip", "FLASH4K"}, "--speed"},
        {{"--lang", "3", "chips"}, "--lang"},
        {{"erase"}, "needs --chip"},
        {{"read", "--chip", "FLASH4K"}, "usage"},
        {{"convert", file("ok.bin"), file("o.bin"), "--size", "0"}, "--size"},
        {{"convert", file("ok.bin"), file("o.bin"), "--size", "65M"}, "--size"},
        {{"write", "--chip", "FLASH4K", file("missing.bin")}, "Can't open File"},
        {{"write", "--chip", "FLASH4K", file("folder")}, "Can't open File"},
        {{"verify", "--chip", "FLASH4K", file("bad.hex")}, "bad.hex: Checksum Error"},
        {{"convert", file("short.s19"), file("o.bin")}, "short.s19: Illegal Char in File"},
        {{"write", "--chip", "FLASH4K", file("big.bin")}, "File is too big for Buffer"},
        {{"erase", "--chip", "NOSUCHPART"}, "unknown chip"},
        {{"--db", file("missing.Dat"), "chips"}, "Cannot open file"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        const Outcome r = cli(args);
        SCOPED_TRACE(c.says);
        EXPECT_EQ(r.status, 2) << r;
        EXPECT_EQ(CountLines(r.err), 1) << r;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r;
        EXPECT_TRUE(r.out.empty()) << r;
    }
    EXPECT_FALSE(fs::exists(dir / "o.bin"));
}

// ---- chips and --chip --------------------------------------------------------------------

TEST_F(CliTest, ChipsListsWhatTheFindDialogFinds) {
    ChipDatabase db;
    ASSERT_EQ(LoadDatabaseFile(db, VANTOR_SHIPPED_DATABASE), DatabaseLoadResult::Loaded);
    std::string expected;
    // Any letter case finds what the find dialog finds for the stored case.
    for (const ChipListRow& row : FindChips(db, "W25Q")) {
        expected +=
            TrimBlanks(row.type) + "," + TrimBlanks(row.maker) + "," + TrimBlanks(row.name) + "\n";
    }
    ASSERT_FALSE(expected.empty());
    const Outcome r =
        RunProgram({VANTOR_CLI_PATH, "--db", VANTOR_SHIPPED_DATABASE, "chips", "w25q"}, dir);
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, expected);

    const Outcome all = cli({"chips"});
    EXPECT_EQ(all.status, 0) << all;
    EXPECT_EQ(CountLines(all.out), int(std::size(kChips)));
    EXPECT_NE(all.out.find("93_EEPROM,TestMaker,EE93X4K\n"), std::string::npos) << all;
}

TEST_F(CliTest, ChipNamesIgnoreCaseAndTakeTheFullTriple) {
    for (const char* name : {"flash4k", "FLASH4K", "spi_flash,testmaker,Flash4k",
                             "SPI_FLASH, TestMaker, FLASH4K", "SPI_FLASH,MakerB,twin"}) {
        // The socket holds FLASH4K: TWIN's other ID needs --force.
        const Outcome r = cli({"--force", "erase", "--chip", name});
        EXPECT_EQ(r.status, 0) << name << "\n" << r;
        EXPECT_NE(r.out.find("Erase Complete!"), std::string::npos) << r;
    }

    Outcome r = cli({"erase", "--chip", "twin"});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_NE(r.err.find("ambiguous"), std::string::npos) << r;
    EXPECT_NE(r.err.find("SPI_FLASH,MakerA,TWIN"), std::string::npos) << r;
    EXPECT_NE(r.err.find("SPI_FLASH,MakerB,TWIN"), std::string::npos) << r;

    // Unknown, with the names that hold the text offered.
    r = cli({"erase", "--chip", "EE9"});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_NE(r.err.find("unknown chip"), std::string::npos) << r;
    EXPECT_NE(r.err.find("93_EEPROM,TestMaker,EE93X4K"), std::string::npos) << r;
    EXPECT_NE(r.err.find("95_EEPROM,TestMaker,EE95X4K"), std::string::npos) << r;
    EXPECT_EQ(r.err.find("FLASH4K"), std::string::npos) << r;

    // A triple whose maker does not hold that name.
    r = cli({"erase", "--chip", "SPI_FLASH,MakerA,FLASH4K"});
    EXPECT_EQ(r.status, 2) << r;
}

// ---- chip commands, per family ----------------------------------------------------------

class CliFamilyTest : public CliTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliFamilyTest, WriteThenReadGivesTheFileBack) {
    const TestChip& chip = kChips[GetParam()];
    useChip(chip);
    const Bytes data = RandomBytes(kChipSize, 10 + unsigned(GetParam()));
    WriteBytes(file("in.bin"), data);

    Outcome r = cli({"write", "--chip", chip.name, file("in.bin")});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Write Complete!\n");

    r = cli({"read", "--chip", chip.name, file("out.hex")});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out.rfind("Read Complete!\nCRC-32: ", 0), 0u) << r; // and the checksums
    auto buffer = std::make_unique<DataBuffer>();
    RecordingPrompts quiet;
    ScopedPrompts installed(quiet);
    EXPECT_EQ(LoadIntoDataBuffer(*buffer, file("out.hex")), std::int32_t(kChipSize));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer->data()));

    r = cli({"verify", "--chip", chip.name, file("in.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Verify Complete!\n");
}

std::string FamilyName(const ::testing::TestParamInfo<int>& info) {
    return std::string("Family") + std::to_string(kChips[info.param].family);
}

INSTANTIATE_TEST_SUITE_P(Families, CliFamilyTest, ::testing::Values(0, 1, 2, 3, 4), FamilyName);

TEST_F(CliTest, ReadSavesTheWholeCapacity) {
    // Only the first 100 bytes programmed; the rest reads 0xFF and is saved too.
    const Bytes data = RandomBytes(100, 3);
    WriteBytes(file("small.bin"), data);
    ASSERT_EQ(cli({"write", "--chip", "FLASH4K", file("small.bin")}).status, 0);
    const Outcome r = cli({"read", "--chip", "FLASH4K", file("whole.rom")});
    ASSERT_EQ(r.status, 0) << r;
    const Bytes saved = ReadBytes(file("whole.rom"));
    ASSERT_EQ(saved.size(), kChipSize);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), saved.begin()));
    EXPECT_TRUE(std::all_of(saved.begin() + 112, saved.end(), [](auto b) { return b == 0xFF; }));

    // To "-": stdout holds the image and nothing else; the words go to stderr.
    const Outcome piped = cli({"read", "--chip", "FLASH4K", "-"});
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, std::string(saved.begin(), saved.end()));
    EXPECT_NE(piped.err.find("Read Complete!"), std::string::npos) << piped.err;
    // Any other name of stdout is stdout too: the image alone.
    for (const char* name : {"/dev/stdout", "/dev/fd/1"}) {
        const Outcome named = cli({"read", "--chip", "FLASH4K", name});
        ASSERT_EQ(named.status, 0) << named.err;
        EXPECT_EQ(named.out, std::string(saved.begin(), saved.end())) << name;
    }
    // A device that takes nothing is a failed operation, not bad usage.
    EXPECT_EQ(cli({"read", "--chip", "FLASH4K", "/dev/full"}).status, 1);
}

TEST_F(CliTest, VerifyNamesTheFirstDifferenceAndBlankRefusesAProgrammedChip) {
    const Bytes data = RandomBytes(kChipSize, 4);
    WriteBytes(file("in.bin"), data);
    ASSERT_EQ(cli({"auto", "--chip", "FLASH4K", file("in.bin")}).status, 0);

    Bytes changed = data;
    changed[0x123] ^= 0x01;
    changed[0x800] ^= 0x80;
    WriteBytes(file("changed.bin"), changed);
    Outcome r = cli({"verify", "--chip", "FLASH4K", file("changed.bin")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("address:123h"), std::string::npos) << r;
    EXPECT_EQ(r.err.find("800h"), std::string::npos) << r;
    EXPECT_EQ(r.out.find("Complete"), std::string::npos) << r;

    r = cli({"blank", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("The chip is not empty."), std::string::npos) << r;

    ASSERT_EQ(cli({"erase", "--chip", "FLASH4K"}).status, 0);
    r = cli({"blank", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Bank Complete!\n");
}

TEST_F(CliTest, AutoRunsItsStepsAndOnlyThoseAsked) {
    const Bytes data = RandomBytes(kChipSize, 5);
    WriteBytes(file("in.hex.bin"), data);
    Outcome r = cli({"auto", "--chip", "FLASH4K", file("in.hex.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "AUTO Complete!\n");
    EXPECT_EQ(ReadBytes(dir / "chip.bin"), data);

    // Programming over programmed NOR without the erase cannot give new data.
    WriteBytes(file("other.bin"), RandomBytes(kChipSize, 6));
    r = cli({"auto", "--no-erase", "--chip", "FLASH4K", file("other.bin")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("address:"), std::string::npos) << r;

    // Verify alone against what is in the chip.
    r = cli({"auto", "--chip", "FLASH4K", "--no-erase", "--no-program", file("in.hex.bin")});
    EXPECT_EQ(r.status, 1) << r; // the chip holds data AND other's bits now
    r = cli({"auto", "--chip", "FLASH4K", file("in.hex.bin")});
    EXPECT_EQ(r.status, 0) << r;
    r = cli({"auto", "--chip", "FLASH4K", "--no-erase", "--no-program", file("in.hex.bin")});
    EXPECT_EQ(r.status, 0) << r;
}

TEST_F(CliTest, AFileLongerThanTheChipAsksAndNoIsAFailure) {
    const Bytes data = RandomBytes(kChipSize * 2, 7);
    WriteBytes(file("long.bin"), data);
    Outcome r = cli({"write", "--chip", "FLASH4K", file("long.bin")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("larger than chip capacity"), std::string::npos) << r;
    EXPECT_TRUE(r.out.empty()) << r;

    r = cli({"--yes", "auto", "--chip", "FLASH4K", file("long.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(ReadBytes(dir / "chip.bin"), Bytes(data.begin(), data.begin() + kChipSize));
}

// ---- failures of the programmer ------------------------------------------------------------

TEST_F(CliTest, NoProgrammerNoChipAndUnknownIdFail) {
    useChip(kChips[0], "", "plugged = 0\n");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"detect"},
                                               {"erase", "--chip", "FLASH4K"},
                                               {"read", "--chip", "EE25X4K", file("x.bin")}}) {
        const Outcome r = cli(args);
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_NE(r.err.find("No programmer on the bus."), std::string::npos) << r;
    }
    EXPECT_FALSE(fs::exists(dir / "x.bin"));

    // A library that is not there reads like no programmer when named as the
    // window names it, but is bad input when named by path.
    Outcome r = RunProgram({VANTOR_CLI_PATH, "--db", file("chips.Dat"), "--usb-library",
                            file("nowhere/libusb-0.1.so.4"), "detect"},
                           dir);
    EXPECT_EQ(r.status, 2) << r;

    useChip(kChips[0], "", "chip = none\n");
    r = cli({"blank", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("No chips detected"), std::string::npos) << r;

    r = cli({"--lang", "0", "detect"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find(Message(3, SimplifiedChinese)), std::string::npos) << r;

    TestChip stranger = kChips[0];
    stranger.id = 0x123456;
    useChip(stranger);
    r = cli({"detect"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_TRUE(r.out.empty()) << r;
}

TEST_F(CliTest, InjectedUnplugAndTimeOutFailWithAMessage) {
    WriteBytes(file("in.bin"), RandomBytes(kChipSize, 8));
    for (const char* fault : {"unplug_at = 30\n", "timeout_at = 30\n"}) {
        useChip(kChips[0], std::string("[faults]\n") + fault);
        for (const char* command : {"write", "verify"}) {
            const Outcome r = cli({command, "--chip", "FLASH4K", file("in.bin")});
            EXPECT_EQ(r.status, 1) << fault << command << "\n" << r;
            EXPECT_NE(r.err.find("USB transfer failed at address"), std::string::npos) << r;
            EXPECT_EQ(r.out.find("Complete"), std::string::npos) << r;
        }
        const Outcome r = cli({"read", "--chip", "FLASH4K", file("lost.bin")});
        EXPECT_EQ(r.status, 1) << fault << r;
        EXPECT_FALSE(fs::exists(dir / "lost.bin"));
    }
}

TEST_F(CliTest, DetectNamesTheChipForEachKindOfAnswer) {
    Outcome r = cli({"detect"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Detected: FLASH4K (SPI_FLASH, ID EF4012)") << r;

    useChip(kChips[1]); // a 24-series chip answers with its type
    r = cli({"detect", "--chip", "EE24X4K"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Detected: 24_EEPROM (no ID)\n") << r;

    useChip(kChips[2]);
    r = cli({"detect", "--chip", "EE93X4K"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find("93_EEPROM"), std::string::npos) << r;
}

TEST_F(CliTest, DetectOverTheShippedListNamesTheLikelyPartAndTheOthers) {
    TestChip w25q32 = kChips[0];
    w25q32.id = 0xEF4016;
    useChip(w25q32);
    const auto shipped = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {VANTOR_CLI_PATH, "--db", VANTOR_SHIPPED_DATABASE,
                                   "--usb-library", EmulatorClient::kDefaultPath});
        return RunProgram(args, dir);
    };
    Outcome r = shipped({"detect"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Detected: W25Q32JV (SPI_FLASH, ID EF4016)") << r;
    EXPECT_NE(r.out.find("Other chips with ID EF4016:\n  SPI_FLASH,Winbond,W25Q32BV\n"),
              std::string::npos)
        << r;

    // --chip: any letter case, and the name without its suffix letters when
    // only one chip has that stem.
    for (const char* name : {"w25q32jv", "zb25vq64", "Mx25u3235f", "p25q16"}) {
        r = shipped({"detect", "--chip", name});
        EXPECT_EQ(r.status, 0) << name << "\n" << r;
    }
    r = shipped({"detect", "--chip", "w25q128"});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_NE(r.err.find("SPI_FLASH,Winbond,W25Q128JV"), std::string::npos) << r;
    EXPECT_NE(r.err.find("SPI_FLASH,Winbond,W25Q128FV"), std::string::npos) << r;

    // One ID, parts of two sizes: both named, none chosen.
    w25q32.id = 0xEF8A16;
    useChip(w25q32);
    r = shipped({"detect"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "  SPI_FLASH,Winbond,W77Q16JW (2 MiB)\n  SPI_FLASH,Winbond,W77Q32JW (4 MiB)\n")
        << r;
    EXPECT_NE(r.err.find("Choose the chip by its name."), std::string::npos) << r;
}

TEST_F(CliTest, ChipsFindsWhatUsersSearchForInAnyCase) {
    for (const char* name :
         {"W25Q128JV", "w25q16jv", "GD25Q64C", "mx25l6433f", "BY25Q64AS", "n25q128a", "P25Q16H",
          "XT25F32B", "ZB25VQ64", "is25lp080d", "MX25U3235F", "24lc256", "AT24C02", "cat24c16",
          "93LC46C", "25LC640A", "m95256"}) {
        const Outcome r =
            RunProgram({VANTOR_CLI_PATH, "--db", VANTOR_SHIPPED_DATABASE, "chips", name}, dir);
        EXPECT_EQ(r.status, 0) << name << "\n" << r;
        EXPECT_NE(FoldAsciiCase(r.out).find(FoldAsciiCase(name)), std::string::npos) << name << "\n"
                                                                                     << r;
    }
}

// ---- convert -----------------------------------------------------------------------------------

// What the window's Save writes after its Open of `in`: the loaded length.
Bytes WindowSaveOf(const std::string& in, const std::string& out, std::uint32_t size = 0) {
    auto buffer = std::make_unique<DataBuffer>();
    RecordingPrompts quiet;
    quiet.yesNoAnswers = {true};
    ScopedPrompts installed(quiet);
    const std::int32_t loaded = LoadIntoDataBuffer(*buffer, in);
    EXPECT_GT(loaded, 0) << in;
    EXPECT_TRUE(SaveDataFile(out, buffer->data(), size != 0 ? size : std::uint32_t(loaded)));
    return ReadBytes(out);
}

TEST_F(CliTest, ConvertBetweenEveryPairOfFormatsMatchesTheWindowsSave) {
    // Data with erased runs (left out of the text formats) and a last byte
    // that is not 0xFF, so every format loads the same length.
    Bytes image = RandomBytes(70000, 9);
    std::fill(image.begin() + 1000, image.begin() + 5000, 0xFF);
    std::fill(image.begin() + 66000, image.begin() + 66100, 0xFF);
    image.back() = 0x5A;
    {
        RecordingPrompts quiet;
        ScopedPrompts installed(quiet);
        ASSERT_TRUE(SaveDataFile(file("in.bin"), image.data(), std::uint32_t(image.size())));
        ASSERT_TRUE(SaveDataFile(file("in.hex"), image.data(), std::uint32_t(image.size())));
        ASSERT_TRUE(SaveDataFile(file("s.src"), image.data(), std::uint32_t(image.size())));
    }
    fs::copy_file(dir / "in.hex", dir / "hex.ihx");
    fs::rename(dir / "s.src", dir / "srec.s28");
    Bytes capsule(CapsuleHeaderSize + image.size(), 0x11);
    std::copy(image.begin(), image.end(), capsule.begin() + CapsuleHeaderSize);
    WriteBytes(file("in.cap"), capsule);

    for (const char* in : {"in.bin", "in.hex", "hex.ihx", "srec.s28", "in.cap"}) {
        for (const char* out : {"out.bin", "out.hex", "out.src"}) {
            SCOPED_TRACE(std::string(in) + " -> " + out);
            const Outcome r = cli({"convert", file(in), file(out)});
            ASSERT_EQ(r.status, 0) << r;
            EXPECT_TRUE(r.out.empty()) << r;
            const std::string reference = file(std::string("window-") + out);
            EXPECT_EQ(ReadBytes(file(out)), WindowSaveOf(file(in), reference));
            fs::remove(dir / out);
            fs::remove(reference);
        }
    }

    // A round trip through the text formats gives the raw image back.
    ASSERT_EQ(cli({"convert", file("in.bin"), file("a.hex")}).status, 0);
    ASSERT_EQ(cli({"convert", file("a.hex"), file("b.src")}).status, 0);
    fs::rename(dir / "b.src", dir / "b.mot");
    ASSERT_EQ(cli({"convert", file("b.mot"), file("c.bin")}).status, 0);
    EXPECT_EQ(ReadBytes(file("c.bin")), image);
}

TEST_F(CliTest, ConvertSizeAndOverwrite) {
    const Bytes data = RandomBytes(300, 12);
    WriteBytes(file("in.bin"), data);
    Outcome r = cli({"convert", file("in.bin"), file("out.hex"), "--size", "0x1K"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(ReadBytes(file("out.hex")), WindowSaveOf(file("in.bin"), file("w.hex"), 1024));
    r = cli({"convert", file("in.bin"), file("pad.bin"), "--size=1000"});
    ASSERT_EQ(r.status, 0) << r;
    const Bytes padded = ReadBytes(file("pad.bin"));
    ASSERT_EQ(padded.size(), 1000u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), padded.begin()));
    EXPECT_TRUE(std::all_of(padded.begin() + 300, padded.end(), [](auto b) { return b == 0xFF; }));

    // An existing file is kept unless --yes says otherwise.
    r = cli({"convert", file("in.bin"), file("pad.bin")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("File already exists"), std::string::npos) << r;
    EXPECT_EQ(ReadBytes(file("pad.bin")).size(), 1000u);
    r = cli({"--yes", "convert", file("in.bin"), file("pad.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(ReadBytes(file("pad.bin")), data);

    // An output that cannot be created is bad input.
    r = cli({"convert", file("in.bin"), file("no/such/folder/out.bin")});
    EXPECT_EQ(r.status, 2) << r;
}

// ---- production lines: several programmers, scripts, no surprises -----------------------

class CliLineTest : public CliTest {
protected:
    // A bus with one programmer per entry (its extra keys), each with its own
    // 4 KiB flash chip in chip<N>.bin, and the command log going to emu.log.
    void useBus(const std::vector<std::string>& programmers, int eraseBusyMs = 0) {
        std::ofstream ini(dir / "emulator.ini", std::ios::trunc);
        ini << "[bus]\ndevices = ";
        for (std::size_t i = 1; i <= programmers.size(); ++i) {
            ini << (i > 1 ? ", " : "") << "p" << i;
        }
        ini << "\n";
        for (std::size_t i = 1; i <= programmers.size(); ++i) {
            ini << "[p" << i << "]\nchip = c" << i << "\n"
                << programmers[i - 1] << "[c" << i << "]\nsize = " << kChipSize
                << "\npage = 16\njedec = EF4012\nerase_busy_polls = 2\nerase_busy_ms = "
                << eraseBusyMs << "\nimage = " << file("chip" + std::to_string(i) + ".bin") << "\n";
        }
        ini.close();
        setenv("VANTOR_EMULATOR_CONFIG", file("emulator.ini").c_str(), 1);
        logToFile();
    }
    void logToFile() { setenv("VANTOR_EMULATOR_LOG", file("emu.log").c_str(), 1); }
    // Lines of the command log that start with `kind`; the log is emptied.
    std::vector<std::string> takeLog(const std::string& kind) {
        std::vector<std::string> lines;
        std::ifstream in(dir / "emu.log");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(kind + " ", 0) == 0) {
                lines.push_back(line);
            }
        }
        fs::remove(dir / "emu.log");
        return lines;
    }
};

TEST_F(CliLineTest, TwoProgrammersWriteAndVerifyAtOnceEachItsOwnChip) {
    // Each erase keeps its programmer busy for a while, so the runs overlap.
    useBus({"", "product = DudOVEDuro\n"}, 300);
    const Bytes one = RandomBytes(kChipSize, 21);
    const Bytes two = RandomBytes(kChipSize, 22);
    WriteBytes(file("one.bin"), one);
    WriteBytes(file("two.bin"), two);
    const Started first = StartProgram(
        cliArgs({"--device", "1", "auto", "--chip", "FLASH4K", file("one.bin")}), dir, "1");
    const Started second = StartProgram(
        cliArgs({"--device", "001:003", "auto", "--chip", "FLASH4K", file("two.bin")}), dir, "2");
    for (const Outcome& r : {FinishProgram(first), FinishProgram(second)}) {
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out, "AUTO Complete!\n") << r;
    }
    EXPECT_EQ(ReadBytes(dir / "chip1.bin"), one);
    EXPECT_EQ(ReadBytes(dir / "chip2.bin"), two);
    // Each process claimed its own programmer only.
    const auto claims = takeLog("CLAIM");
    EXPECT_EQ(std::count_if(claims.begin(), claims.end(),
                            [](const std::string& l) { return l.rfind("CLAIM 0 ", 0) == 0; }),
              2);
    EXPECT_EQ(claims.size(), 4u);
}

TEST_F(CliLineTest, DevicesNamesEachProgrammerAndRefusalsSayWhy) {
    useBus({"open_fails = EACCES\n", "claim_fails = EBUSY\n", ""});
    Outcome r = cli({"devices"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "1  001:002  -                  permission-denied\n"
                     "2  001:003  DudOVEDuro Device  busy\n"
                     "3  001:004  DudOVEDuro Device  usable\n")
        << r;

    r = cli({"--device", "1", "erase", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("001:002"), std::string::npos) << r;
    EXPECT_NE(r.err.find("70-vantor.rules"), std::string::npos) << r;
    EXPECT_NE(r.err.find("TAG+=\"uaccess\""), std::string::npos) << r;
    r = cli({"--device", "2", "blank", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("another program holds it"), std::string::npos) << r;
    r = cli({"--device", "9", "erase", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("No programmer 9"), std::string::npos) << r;

    // Without --device the first usable one is taken, and named.
    r = cli({"erase", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_NE(r.err.find("Using programmer 001:004 (3 on the bus"), std::string::npos) << r;

    // Nothing usable: the reason, exit 1.
    useBus({"claim_fails = EBUSY\n"});
    r = cli({"devices"});
    EXPECT_EQ(r.status, 1) << r;
    r = cli({"detect"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("another program holds it"), std::string::npos) << r;
}

TEST_F(CliLineTest, JsonIsOneParsableObjectPerCommand) {
    useBus({""});
    const Bytes data = RandomBytes(kChipSize, 23);
    WriteBytes(file("in.bin"), data);
    Bytes changed = data;
    changed[0x123] ^= 1;
    // A name a script could meet: quotes, a backslash, a byte that is not UTF-8.
    const std::string odd = file("say \"hi\"\\ \xff.bin");
    WriteBytes(odd, changed);

    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* result;
    };
    const std::vector<Case> cases = {
        {{"write", "--chip", "FLASH4K", file("in.bin")}, 0, "completed"},
        {{"verify", "--chip", "flash4k", odd}, 1, "check-failed"},
        {{"read", "--chip", "FLASH4K", file("back.bin")}, 0, "completed"},
        {{"devices"}, 0, "completed"},
        {{"chips", "EE"}, 0, "completed"},
        {{"erase", "--chip", "NOSUCHPART"}, 2, "bad-input"},
        {{"--frobnicate"}, 2, "bad-usage"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome r = cli(args);
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(r.status, c.exit) << r;
        ASSERT_EQ(CountLines(r.out), 1) << r;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << r;
        ASSERT_TRUE(doc.isObject()) << r;
        const QJsonObject o = doc.object();
        EXPECT_EQ(o["exit"].toInt(-1), c.exit);
        EXPECT_EQ(o["result"].toString().toStdString(), c.result);
        EXPECT_TRUE(o["time"].isDouble());
        EXPECT_TRUE(o["messages"].isArray());
        if (c.args.front() == "write") {
            EXPECT_EQ(o["chip"].toString(), "SPI_FLASH,TestMaker,FLASH4K");
            EXPECT_EQ(o["device"].toString(), "001:002");
            EXPECT_EQ(o["length"].toInt(), int(kChipSize));
            EXPECT_EQ(o["messages"].toArray().last()["text"].toString(), "Write Complete!");
        } else if (c.args.front() == "verify") {
            EXPECT_TRUE(o["file"].toString().contains(QChar(0xFFFD)));
            const QJsonArray messages = o["messages"].toArray();
            EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const QJsonValue& m) {
                return m["text"].toString().endsWith("123h");
            })) << r;
        } else if (c.args.front() == "devices") {
            EXPECT_EQ(o["devices"].toArray().first()["access"].toString(), "usable");
        } else if (c.args.front() == "chips") {
            EXPECT_EQ(o["chips"].toArray().size(), 4);
        }
    }
    EXPECT_EQ(ReadBytes(file("back.bin")), data);
}

TEST_F(CliLineTest, QuietLeavesErrorsAndResultsGoToStdout) {
    useBus({""});
    Outcome r = cli({"read", "--chip", "FLASH4K", file("blank.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Read Complete!\nThe chip is empty!\nCRC-32: F154670A  Sum: 000FF000\n") << r;
    EXPECT_EQ(r.err.find("empty"), std::string::npos) << r;

    WriteBytes(file("in.bin"), RandomBytes(kChipSize, 24));
    r = cli({"--quiet", "--yes", "auto", "--chip", "FLASH4K", file("in.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out + r.err, "") << r;
    r = cli({"--quiet", "blank", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_TRUE(r.out.empty()) << r;
    EXPECT_EQ(r.err, "vantor-cli: The chip is not empty.\n") << r;
}

TEST_F(CliLineTest, AutoAndReadRefuseBeforeTheChipIsTouched) {
    useBus({""});
    const Bytes data = RandomBytes(kChipSize, 25);
    WriteBytes(file("in.bin"), data);
    ASSERT_EQ(cli({"auto", "--chip", "FLASH4K", file("in.bin")}).status, 0);
    ASSERT_FALSE(takeLog("COMMAND").empty()); // the log sees what a run sends

    WriteBytes(file("long.bin"), RandomBytes(kChipSize + 16, 26));
    Outcome r = cli({"auto", "--chip", "FLASH4K", file("long.bin")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("larger than chip capacity"), std::string::npos) << r;
    EXPECT_NE(r.err.find("Nothing was sent to the chip."), std::string::npos) << r;
    EXPECT_EQ(ReadBytes(dir / "chip1.bin"), data);
    EXPECT_TRUE(takeLog("COMMAND").empty()); // no erase, nor anything else

    const std::string nowhere = file("no/such/folder/out.bin");
    r = cli({"read", "--chip", "FLASH4K", nowhere});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_NE(r.err.find(nowhere + ": cannot create the file"), std::string::npos) << r;
    EXPECT_TRUE(takeLog("COMMAND").empty());
    EXPECT_TRUE(takeLog("DATA_IN").empty());
}

TEST_F(CliLineTest, VerifyOfALongerFileSaysWhatItLeftOut) {
    useBus({""});
    const Bytes data = RandomBytes(kChipSize + 1000, 27);
    WriteBytes(file("long.bin"), data);
    ASSERT_EQ(cli({"--yes", "write", "--chip", "FLASH4K", file("long.bin")}).status, 0);
    const Outcome r = cli({"verify", "--chip", "FLASH4K", file("long.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Verify Complete!\nCompared 4096 bytes, the chip's size; the file's "
                     "remaining 1000 bytes were not compared.\n")
        << r;
}

TEST_F(CliLineTest, AFailedFinishBlockWarnsAndStrictMakesItAFailure) {
    // A 25-series chip: no ID request, so the write is one session.
    useChip(kChips[3]);
    logToFile();
    WriteBytes(file("in.bin"), RandomBytes(kChipSize, 28));
    ASSERT_EQ(cli({"write", "--chip", "EE25X4K", file("in.bin")}).status, 0);
    const auto commands = takeLog("COMMAND");
    ASSERT_FALSE(commands.empty());
    ASSERT_NE(commands.back().find("op=8"), std::string::npos) << commands.back();
    std::istringstream fields(commands.back());
    std::string kind;
    int device = 0, endpoint = 0, length = 0, result = 0;
    long transfer = 0;
    fields >> kind >> device >> endpoint >> length >> result >> transfer;
    ASSERT_GT(transfer, 0);

    useChip(kChips[3], "[faults]\nstall_at = " + std::to_string(transfer) + "\n");
    Outcome r = cli({"write", "--chip", "EE25X4K", file("in.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "Write Complete!\n") << r;
    EXPECT_NE(r.err.find("Warning: the closing finish block"), std::string::npos) << r;
    r = cli({"--strict", "write", "--chip", "EE25X4K", file("in.bin")});
    EXPECT_EQ(r.status, 1) << r;
}

// ---- stop, unprotect, checksums, read-back options ------------------------------------

// SIGINT and SIGTERM during an erase the chip takes long over: the finish
// block goes out, the log names the address, exit 130, nothing "Complete!".
TEST_F(CliTest, SignalsStopAtTheNextTransfer) {
    useChip(kChips[0], "erase_busy_polls = 1000000\n");
    for (const int signal : {SIGINT, SIGTERM}) {
        const Outcome r = cli({"erase", "--chip", "FLASH4K"}, [&](pid_t pid) {
            // Once the erase has begun (its status line is out), not before.
            for (int i = 0;
                 i < 6000 && ReadText(dir / "stderr.txt").find("Erase") == std::string::npos; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            kill(pid, signal);
        });
        EXPECT_EQ(r.status, 130) << r;
        EXPECT_NE(r.err.find("Stopped: the chip erase had been sent"), std::string::npos) << r;
        EXPECT_EQ(r.out.find("Complete!"), std::string::npos) << r;
    }
}

TEST_F(CliTest, ChecksumsOfFileChipAndRead) {
    const Bytes data = RandomBytes(kChipSize, 21);
    WriteBytes(file("in.bin"), data);
    SetCurrentLanguage(English); // as vantor-cli speaks by default
    const std::string expected = ChecksumText(ComputeChecksums(data.data(), data.size())) + "\n";
    Outcome r = cli({"checksum", file("in.bin")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, expected);
    ASSERT_EQ(cli({"write", "--chip", "FLASH4K", file("in.bin"), "--verify"}).status, 0);
    r = cli({"checksum", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find(expected), std::string::npos) << r;
    r = cli({"read", "--chip", "FLASH4K", file("out.bin"), "--twice"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find(expected), std::string::npos) << r;
    EXPECT_EQ(ReadBytes(file("out.bin")), data);
    // Exactly one of FILE and --chip; the read-back options where they belong.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"checksum"},
          {"checksum", "--chip", "FLASH4K", file("in.bin")},
          {"erase", "--chip", "FLASH4K", "--list"},
          {"verify", "--chip", "FLASH4K", file("in.bin"), "--twice"},
          {"read", "--chip", "FLASH4K", file("o.bin"), "--unprotect"}}) {
        EXPECT_EQ(cli(bad).status, 2) << bad.front();
    }
}

TEST_F(CliTest, VerifyListAndReadBackFailures) {
    const Bytes data = RandomBytes(kChipSize, 22);
    WriteBytes(file("in.bin"), data);
    Bytes chip = data;
    for (const std::uint32_t at : {5u, 700u, 4000u}) {
        chip[at] = std::uint8_t(~chip[at]);
    }
    WriteBytes(file("chip.bin"), chip);
    Outcome r = cli({"verify", "--chip", "FLASH4K", file("in.bin"), "--list"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.out.find("Verify: bytes that differ: 3"), std::string::npos) << r;
    for (const char* at : {"\n5h: chip", "\n2BCh: chip", "\nFA0h: chip"}) {
        EXPECT_NE(r.out.find(at), std::string::npos) << at << r;
    }
    EXPECT_NE(r.err.find("Flash check error address:5h"), std::string::npos) << r;

    // A write that programs nothing at its 10th transfer (caught by the
    // pages read back after it, or else by the verify), a read that lies.
    WriteBytes(file("chip.bin"), Bytes(kChipSize, 0xFF));
    useChip(kChips[0], "[faults]\nlost_write_at = 10\n");
    r = cli({"write", "--chip", "FLASH4K", file("in.bin"), "--verify"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_TRUE(r.err.find("Flash check error address:") != std::string::npos ||
                r.err.find("Write did not take") != std::string::npos)
        << r;
    useChip(kChips[0], "[faults]\nbitflip_at = 12\n");
    r = cli({"read", "--chip", "FLASH4K", file("twice.bin"), "--twice"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("The two reads differ, first at address "), std::string::npos) << r;
    EXPECT_FALSE(fs::exists(dir / "twice.bin"));
}

TEST_F(CliTest, AnotherChipIsRefusedUnlessForcedAndProtectionFailsEraseAndWrite) {
    TestChip other = kChips[0];
    other.id = 0xEF4013;
    useChip(other);
    Outcome r = cli({"read", "--chip", "FLASH4K", file("out.bin")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("The chip answers ID EF4013: not in the chip list. The selected chip is "
                         "FLASH4K, 4 KiB, ID EF4012. Refused (--force goes on all the same)."),
              std::string::npos)
        << r;
    EXPECT_FALSE(fs::exists(file("out.bin")));
    r = cli({"--force", "read", "--chip", "FLASH4K", file("out.bin")});
    EXPECT_EQ(r.status, 0) << r;

    // A programmed chip, then protected: neither erase nor write takes.
    WriteBytes(file("chip.bin"), RandomBytes(kChipSize, 25));
    useChip(kChips[0], "protect = all\n");
    WriteBytes(file("in.bin"), RandomBytes(kChipSize, 24));
    for (const char* command : {"erase", "write"}) {
        std::vector<std::string> args = {"--json", command, "--chip", "FLASH4K"};
        if (std::string(command) == "write")
            args.push_back(file("in.bin"));
        r = cli(args);
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_NE(r.out.find("\"result\":\"protected\""), std::string::npos) << r;
        EXPECT_NE(r.out.find("try Unprotect"), std::string::npos) << r;
    }
}

TEST_F(CliTest, UnprotectAndAutoUnprotect) {
    WriteBytes(file("in.bin"), RandomBytes(kChipSize, 23));
    useChip(kChips[0], "protect = all\n");
    Outcome r = cli({"auto", "--chip", "FLASH4K", file("in.bin")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("try Unprotect"), std::string::npos) << r;
    r = cli({"auto", "--chip", "FLASH4K", file("in.bin"), "--unprotect"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_NE(r.out.find("Unprotect: sent 06h, 01h 00h"), std::string::npos) << r;
    useChip(kChips[0], "protect = 7\n");
    r = cli({"unprotect", "--chip", "FLASH4K"});
    EXPECT_EQ(r.status, 0) << r;
    // Each run powers the emulated chip up protected again. The chip already
    // holds the file, so only the check after the erase sees it ignored.
    r = cli({"auto", "--chip", "FLASH4K", file("in.bin")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_NE(r.err.find("Erase did not take"), std::string::npos) << r;
    EXPECT_EQ(cli({"unprotect", "--chip", "EE24X4K"}).status, 2);
}

} // namespace
} // namespace vantor
