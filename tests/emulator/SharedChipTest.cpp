// The emulated programmer seen from several processes, as on a bench: one
// owner at a time, and a chip image that holds whatever was programmed when a
// process died. vantor-cli runs against the emulator with bench timing, so an
// operation lasts long enough to meet it half-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kChipSize = 4u << 20; // a W25Q32 from the shipped database

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SharedChip : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantor-shared-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("VANTOR_EMULATOR_CONFIG", (dir / "emulator.ini").c_str(), 1);
    }
    void TearDown() override {
        for (pid_t pid : children) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        unsetenv("VANTOR_EMULATOR_CONFIG");
        unsetenv("VANTOR_USB_TRACE");
        fs::remove_all(dir);
    }
    void setUp(const std::string& timing, const std::string& chipExtra = "") {
        std::ofstream(dir / "emulator.ini", std::ios::trunc)
            << "[bus]\ntiming = " << timing
            << "\n[chip]\njedec = EF4016\nsize = 4M\nimage = " << image().string() << "\n"
            << chipExtra;
    }
    fs::path image() const { return dir / "chip.bin"; }

    // Starts vantor-cli; its stderr goes to `name`.err in the scratch folder.
    pid_t start(const std::vector<std::string>& args, const std::string& name) {
        std::vector<std::string> all = {VANTOR_CLI_PATH, "--db", VANTOR_SHIPPED_DATABASE,
                                        "--usb-library", VANTOR_EMULATOR_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const std::string err = (dir / (name + ".err")).string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0);
        children.push_back(pid);
        return pid;
    }
    // Exit status of `pid`, -1 after a signal; killed after a minute.
    int finish(pid_t pid) {
        int status = 0;
        for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 5) {
            if (waited > 60000) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
            }
            std::this_thread::sleep_for(5ms);
        }
        std::erase(children, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string err(const std::string& name) const {
        const Bytes b = ReadFile(dir / (name + ".err"));
        return std::string(b.begin(), b.end());
    }
    // Waits (a minute at most) until `done` holds.
    static bool waitFor(const std::function<bool()>& done) {
        for (int waited = 0; waited < 60000; waited += 5) {
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    // True while some process holds the programmer's lock on the image (read
    // from /proc/locks, so looking never takes the lock itself).
    bool ownerLockHeld() const {
        struct stat st {};
        if (stat(image().c_str(), &st) != 0) {
            return false;
        }
        std::ifstream locks("/proc/locks");
        const std::string inode = ":" + std::to_string(st.st_ino) + " ";
        for (std::string line; std::getline(locks, line);) {
            if (line.find("FLOCK") != std::string::npos && line.find(inode) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    fs::path dir;
    std::vector<pid_t> children;
};

TEST_F(SharedChip, SecondProcessFindsTheProgrammerBusy) {
    setUp("usb-full-speed"); // a read of 4 MiB takes seconds
    const pid_t owner = start({"read", "--chip", "W25Q32BV", (dir / "a.bin").string()}, "owner");
    ASSERT_TRUE(waitFor([&] { return ownerLockHeld(); }));

    setenv("VANTOR_USB_TRACE", "1", 1); // the library's own error text on stderr
    EXPECT_EQ(finish(start({"read", "--chip", "W25Q32BV", (dir / "b.bin").string()}, "second")), 1);
    EXPECT_NE(err("second").find("Device or resource busy"), std::string::npos) << err("second");
    EXPECT_FALSE(fs::exists(dir / "b.bin"));

    // A killed owner lets go at once.
    kill(owner, SIGKILL);
    EXPECT_EQ(finish(owner), -1);
    setUp("instant");
    EXPECT_EQ(finish(start({"read", "--chip", "W25Q32BV", (dir / "b.bin").string()}, "third")), 0)
        << err("third");
}

TEST_F(SharedChip, KilledWriteLeavesAHalfProgrammedChipThatVerifyPointsAt) {
    setUp("usb-full-speed", "page_program_us = 2000\n"); // 16384 pages: half a minute
    Bytes data(kChipSize);
    std::mt19937 random(7);
    for (auto& b : data) {
        b = std::uint8_t(random() % 255); // never 0xFF: every byte shows whether it arrived
    }
    std::ofstream(dir / "in.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));

    const pid_t writer = start({"write", "--chip", "W25Q32BV", (dir / "in.bin").string()}, "w");
    ASSERT_TRUE(waitFor([&] {
        const Bytes chip = ReadFile(image());
        return chip.size() == kChipSize && chip[0x10000] == data[0x10000];
    })) << err("w");
    kill(writer, SIGKILL);
    EXPECT_EQ(finish(writer), -1);

    // Programmed up to some address, erased from there on.
    const Bytes chip = ReadFile(image());
    ASSERT_EQ(chip.size(), kChipSize);
    const auto first = std::mismatch(chip.begin(), chip.end(), data.begin()).first;
    const std::uint32_t unprogrammed = std::uint32_t(first - chip.begin());
    EXPECT_GT(unprogrammed, 0x10000u);
    EXPECT_LT(unprogrammed, kChipSize);
    EXPECT_TRUE(std::all_of(first, chip.end(), [](std::uint8_t b) { return b == 0xFF; }));

    setUp("instant");
    EXPECT_EQ(finish(start({"verify", "--chip", "W25Q32BV", (dir / "in.bin").string()}, "v")), 1);
    char address[16];
    std::snprintf(address, sizeof address, "%Xh", unsigned(unprogrammed));
    EXPECT_NE(err("v").find(address), std::string::npos) << address << "\n" << err("v");
}

} // namespace
