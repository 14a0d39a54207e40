// vantor-cli against the system's libusb 0.1 and the kernel's usbdevfs
// interface (faked by umockdev, with the emulator behind it): what a user
// with a real programmer meets, including the library's own ways of failing.
#include "chipdb/ChipRecord.h"
#include "chipdb/DatabaseFile.h"
#include "chipdb/NameText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace vantor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<char>;

constexpr int kChipSize = 4096;
constexpr const char* kRule = "70-vantor.rules";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    bool has(const std::string& text) const {
        return out.find(text) != std::string::npos || err.find(text) != std::string::npos;
    }
};

std::ostream& operator<<(std::ostream& os, const Outcome& r) {
    return os << "exit " << r.status << "\n--- stdout\n" << r.out << "--- stderr\n" << r.err;
}

Bytes Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

class RealStackTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantor-realstack-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        fs::permissions(dir, fs::perms(0755));
        ChipDatabase db;
        ChipRecord& r = db[0];
        ASSERT_TRUE(SetNameText(r, "SPI_FLASH,TestMaker,FLASH4K"));
        r.ChipId = 0xEF4012;
        r.FlashSize = kChipSize;
        r.FlashPage = 256;
        r.Family = 0;
        r.Delay = 100;
        const std::string image = db.Image(1);
        std::ofstream(dir / "chips.Dat", std::ios::binary).write(image.data(), image.size());
        configure();
        const Outcome probe = run({}, {"--version"});
        if (probe.status == 77) {
            GTEST_SKIP() << "umockdev cannot run here: " << probe.err;
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // The emulator's set-up: the chip in chip.bin, `extra` appended.
    void configure(const std::string& extra = "", const std::string& programmer = "") {
        std::ofstream(dir / "emulator.ini", std::ios::trunc)
            << "[programmer]\n"
            << programmer << "[chip]\nfamily = 0\njedec = EF4012\nsize = " << kChipSize
            << "\nimage = " << (dir / "chip.bin").string() << "\n"
            << extra;
    }

    // vantor-cli ARGS under the harness with its OPTIONS; both streams kept.
    Outcome run(const std::vector<std::string>& options, const std::vector<std::string>& args) {
        std::string line = "timeout 60 " + Quoted(VANTOR_REALSTACK_PATH) + " --config " +
                           Quoted((dir / "emulator.ini").string());
        for (const auto& o : options) {
            line += " " + Quoted(o);
        }
        line += std::string(" -- ") + Quoted(VANTOR_CLI_PATH) + " --db " +
                Quoted((dir / "chips.Dat").string());
        for (const auto& a : args) {
            line += " " + Quoted(a);
        }
        line +=
            " >" + Quoted((dir / "out.txt").string()) + " 2>" + Quoted((dir / "err.txt").string());
        const int wstatus = std::system(line.c_str());
        Outcome r;
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        const Bytes out = Slurp(dir / "out.txt");
        const Bytes err = Slurp(dir / "err.txt");
        r.out.assign(out.begin(), out.end());
        r.err.assign(err.begin(), err.end());
        return r;
    }

    fs::path file(const std::string& name) const { return dir / name; }
    Bytes chip() const { return Slurp(dir / "chip.bin"); }
    // A file of random bytes the size of the chip.
    Bytes makeInput(const std::string& name, unsigned seed) {
        std::mt19937 random(seed);
        Bytes bytes(kChipSize);
        for (auto& b : bytes) {
            b = char(random());
        }
        std::ofstream(file(name), std::ios::binary).write(bytes.data(), long(bytes.size()));
        return bytes;
    }

    fs::path dir;
};

// The user's commands, through the library a user loads, agree with the chip.
TEST_F(RealStackTest, CommandsRunThroughTheSystemLibrary) {
    Outcome r = run({}, {"--version"});
    EXPECT_TRUE(r.has("/usr/lib/x86_64-linux-gnu/libusb-0.1.so.4") || r.has("libusb-0.1.so.4."))
        << r;
    EXPECT_FALSE(r.has("build/lib")) << r;

    r = run({}, {"devices"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_TRUE(r.has("001:002  DudOVEDuro Device  usable")) << r;
    r = run({}, {"detect"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_TRUE(r.has("FLASH4K")) << r;

    const Bytes first = makeInput("first.bin", 1);
    r = run({}, {"--yes", "write", "--chip", "FLASH4K", file("first.bin").string()});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(chip(), first);
    r = run({}, {"read", "--chip", "FLASH4K", file("back.bin").string()});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(Slurp(file("back.bin")), first);

    const Bytes second = makeInput("second.bin", 2);
    r = run({}, {"--yes", "auto", "--chip", "FLASH4K", file("second.bin").string()});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(chip(), second);
}

// The other variant has other endpoints and byte order: the same results.
TEST_F(RealStackTest, TheOtherVariantAnswersToo) {
    configure("", "product = DudOVEDuro\n");
    const Bytes data = makeInput("data.bin", 3);
    Outcome r = run({}, {"devices"});
    EXPECT_TRUE(r.has("DudOVEDuro  ")) << r;
    r = run({}, {"--yes", "write", "--chip", "FLASH4K", file("data.bin").string()});
    EXPECT_EQ(r.status, 0) << r;
    r = run({}, {"verify", "--chip", "FLASH4K", file("data.bin").string()});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(chip(), data);
}

// A node this user may not open (skipped by the library) or may only read
// (opened, every request refused): both are named, with the udev rule.
TEST_F(RealStackTest, ARefusedProgrammerIsNamedWithTheRule) {
    if (std::system("setpriv --reuid=65534 --regid=65534 --clear-groups test -x '" VANTOR_CLI_PATH
                    "'") != 0) {
        GTEST_SKIP() << "the build tree is out of reach of other users";
    }
    for (const char* mode : {"0600", "0664"}) {
        SCOPED_TRACE(mode);
        const std::vector<std::string> as = {"--as-user", "65534", "--node-mode", mode};
        for (const std::vector<std::string>& args : {std::vector<std::string>{"devices"},
                                                     {"detect"},
                                                     {"read", "--chip", "FLASH4K", "-"},
                                                     {"--json", "detect"}}) {
            const Outcome r = run(as, args);
            SCOPED_TRACE(args.back());
            EXPECT_EQ(r.status, 1) << r;
            EXPECT_TRUE(r.has("permission")) << r;
            EXPECT_TRUE(r.has(kRule)) << r;
            EXPECT_FALSE(r.has("No programmer") || r.has("cannot-open")) << r;
        }
        const Outcome json = run(as, {"--json", "detect"});
        EXPECT_TRUE(json.has("\"result\":\"permission-denied\"")) << json;
    }
}

// Another program holds the programmer: busy in every command and in JSON.
TEST_F(RealStackTest, BusyIsBusyEverywhere) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"devices"}, {"detect"}, {"read", "--chip", "FLASH4K", "-"}}) {
        const Outcome r = run({"--busy"}, args);
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_TRUE(r.has("busy")) << r;
    }
    const Outcome json = run({"--busy"}, {"--json", "detect"});
    EXPECT_TRUE(json.has("\"result\":\"busy\"")) << json;
}

// libusb 0.1.12 reports a stall as the bytes done and the endpoint stays
// halted: the failure is reported, and the next command works.
TEST_F(RealStackTest, AStallLeavesTheProgrammerUsable) {
    makeInput("data.bin", 4);
    configure("[faults]\nstall_at = 10\n");
    Outcome r = run({}, {"read", "--chip", "FLASH4K", file("out.bin").string()});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_TRUE(r.has("failed")) << r;
    EXPECT_FALSE(fs::exists(file("out.bin")));
    configure();
    r = run({}, {"detect"});
    EXPECT_EQ(r.status, 0) << r;
    r = run({}, {"read", "--chip", "FLASH4K", file("out.bin").string()});
    EXPECT_EQ(r.status, 0) << r;
}

// A short read and an unplug in the middle of a read end in a reported
// failure, never in a file.
TEST_F(RealStackTest, ShortReadAndUnplugFail) {
    for (const char* fault : {"short_read_at = 10\n", "unplug_at = 10\n"}) {
        SCOPED_TRACE(fault);
        configure(std::string("[faults]\n") + fault);
        const Outcome r = run({}, {"read", "--chip", "FLASH4K", file("out.bin").string()});
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_TRUE(r.has("USB transfer failed")) << r;
        EXPECT_FALSE(fs::exists(file("out.bin")));
    }
}

// A command block that times out is not followed by a wait for its reply:
// the emulator's log shows no read after the failed block.
TEST_F(RealStackTest, ATimedOutCommandIsNotAnswered) {
    configure("[faults]\ntimeout_at = 1\n");
    setenv("VANTOR_EMULATOR_LOG", file("emulator.log").c_str(), 1);
    const Outcome r = run({}, {"detect"});
    unsetenv("VANTOR_EMULATOR_LOG");
    EXPECT_EQ(r.status, 1) << r;
    std::ifstream log(file("emulator.log"));
    std::string line;
    bool afterTimeout = false;
    while (std::getline(log, line)) {
        if (afterTimeout && line.rfind("REPLY", 0) == 0) {
            ADD_FAILURE() << "a reply was read after the timed-out command";
        }
        // "KIND device endpoint length result ...": -110 is ETIMEDOUT.
        afterTimeout = afterTimeout || line.find(" -110 ") != std::string::npos;
    }
    EXPECT_TRUE(afterTimeout);
}

// Ctrl+C while a transfer hangs: the run ends as a stop, never at 100%.
TEST_F(RealStackTest, AStopDuringAHungTransferIsAStop) {
    configure("[faults]\ntimeout_at = 12\n");
    const Outcome r = run({"--interrupt-on-hang"}, {"read", "--chip", "FLASH4K", file("o.bin")});
    EXPECT_EQ(r.status, 130) << r;
    EXPECT_TRUE(r.err.find("Stopped at") != std::string::npos) << r;
    EXPECT_FALSE(r.has("100%")) << r;
    EXPECT_FALSE(fs::exists(file("o.bin")));
}

} // namespace
} // namespace vantor
