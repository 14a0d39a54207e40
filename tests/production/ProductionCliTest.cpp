// vantor-cli on a production line, as a line runs it: four gang processes
// on four emulated programmers with one log and one serial series, a
// process killed in the middle of a write, and log stores that cannot take
// a row. The same cases run against SQLite and a PostgreSQL server.
#include "production/LogStore.h"
#include "tests/production/PostgresServer.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vantor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kGang = 4;
constexpr std::uint32_t kFieldAddress = 0x100;
constexpr std::uint64_t kFirstSerial = 5000;
constexpr std::size_t kFileBytes = 64 * 1024;
// The shipped database's W25Q32BV: 4 MiB, ID EF4016.
constexpr const char* kChip = "W25Q32BV";

Bytes ReadBytes(const fs::path& path, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(count));
    bytes.resize(std::size_t(in.gcount()));
    return bytes;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::uint64_t BigEndian(const Bytes& bytes, std::size_t at, unsigned width) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        value = value << 8 | bytes.at(at + i);
    }
    return value;
}

enum class Kind { Sqlite, Postgres };

class ProductionCli : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantor-line-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
        if (GetParam() == Kind::Postgres) {
            test::PostgresServer& server = test::SharedPostgres();
            if (!server.running()) {
                GTEST_SKIP() << "no PostgreSQL server: " << server.reason();
            }
            logDb = server.newDatabase();
        } else {
            logDb = (dir / "line.db").string();
        }
        std::mt19937 random(26);
        firmware.resize(kFileBytes);
        for (auto& b : firmware) {
            b = std::uint8_t(random());
        }
        std::ofstream(dir / "fw.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(firmware.data()), std::streamsize(kFileBytes));
        configure("");
    }
    void TearDown() override {
        unsetenv("VANTOR_EMULATOR_CONFIG");
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // Four programmers, each with its own 4 MiB flash kept in chipN.bin;
    // `first` adds keys to the first one's chip.
    void configure(const std::string& first, bool benchTiming = false) {
        std::ofstream ini(dir / "emulator.ini", std::ios::trunc);
        ini << "[bus]\ndevices = p1, p2, p3, p4\nlog = 0\n"
            << (benchTiming ? "timing = usb-full-speed\n" : "");
        for (int n = 1; n <= kGang; ++n) {
            ini << "[p" << n << "]\nserial = SN" << n << "\nchip = c" << n << "\n[c" << n
                << "]\nfamily = 0\njedec = EF4016\nsize = 4M\nerase_busy_polls = 1\nimage = "
                << chipImage(n).string() << "\n"
                << (n == 1 ? first : "");
        }
        setenv("VANTOR_EMULATOR_CONFIG", (dir / "emulator.ini").c_str(), 1);
    }
    fs::path chipImage(int n) const { return dir / ("chip" + std::to_string(n) + ".bin"); }

    // vantor-cli with the log; on programmer `device` when it is not 0.
    std::vector<std::string> cli(int device, const std::vector<std::string>& args) const {
        std::vector<std::string> all = {VANTOR_CLI_PATH,
                                        "--db",
                                        VANTOR_SHIPPED_DATABASE,
                                        "--usb-library",
                                        VANTOR_EMULATOR_PATH,
                                        "--log-db",
                                        logDb,
                                        "--json",
                                        "--yes"};
        if (device > 0) {
            all.insert(all.end(), {"--device", std::to_string(device)});
        }
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    std::vector<std::string> autoWithSerial(int device) const {
        return cli(device, {"auto", "--chip", kChip, "--serial", "0x100:4:be", "--serial-start",
                            std::to_string(kFirstSerial), (dir / "fw.bin").string()});
    }

    // Starts `args` with stdout and stderr to files named by `tag`.
    pid_t start(const std::vector<std::string>& args, const std::string& tag,
                const std::vector<std::string>& prefix = {}) const {
        std::vector<std::string> all = prefix;
        all.insert(all.end(), args.begin(), args.end());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (dir / (tag + ".out")).c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (dir / (tag + ".err")).c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv;
        for (auto& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    // The exit status; -1 for a signal, or after a minute (then killed).
    static int finish(pid_t pid) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    QJsonObject json(const std::string& tag) const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(ReadText(dir / (tag + ".out"))))
            .object();
    }
    std::string said(const std::string& tag) const {
        return ReadText(dir / (tag + ".out")) + ReadText(dir / (tag + ".err"));
    }

    std::vector<LogRow> rows() const {
        std::string why;
        const auto store = OpenLogStore(logDb, why);
        EXPECT_TRUE(store) << why;
        if (!store) {
            return {};
        }
        return store->rows("").value_or(std::vector<LogRow>{});
    }

    fs::path dir;
    std::string logDb;
    Bytes firmware;
};

TEST_P(ProductionCli, FourGangProcessesGetFourConsecutiveSerialsAndOneRowEach) {
    std::vector<pid_t> gang;
    for (int n = 1; n <= kGang; ++n) {
        gang.push_back(start(autoWithSerial(n), "p" + std::to_string(n)));
    }
    std::set<std::uint64_t> serials;
    for (int n = 1; n <= kGang; ++n) {
        const std::string tag = "p" + std::to_string(n);
        ASSERT_EQ(finish(gang[std::size_t(n - 1)]), 0) << said(tag);
        const QJsonObject result = json(tag);
        EXPECT_EQ(result["result"].toString(), "completed") << said(tag);
        const std::uint64_t serial = result["serial"].toString().toULongLong(nullptr, 0);
        serials.insert(serial);
        // The chip holds its own number at the field and the file elsewhere.
        Bytes chip = ReadBytes(chipImage(n), kFileBytes);
        ASSERT_EQ(chip.size(), kFileBytes);
        EXPECT_EQ(BigEndian(chip, kFieldAddress, 4), serial) << tag;
        std::copy_n(firmware.begin() + kFieldAddress, 4, chip.begin() + kFieldAddress);
        EXPECT_TRUE(chip == firmware) << tag;
    }
    EXPECT_EQ(serials, (std::set<std::uint64_t>{kFirstSerial, kFirstSerial + 1, kFirstSerial + 2,
                                                kFirstSerial + 3}));
    const auto logged = rows();
    ASSERT_EQ(logged.size(), std::size_t(kGang));
    std::set<std::string> serialStrings;
    for (const LogRow& r : logged) {
        EXPECT_EQ(r.result, "completed");
        EXPECT_EQ(r.command, "auto");
        EXPECT_EQ(r.fileSize, std::int64_t(kFileBytes));
        EXPECT_TRUE(r.imageCrc32 && r.fileCrc32 && *r.imageCrc32 != *r.fileCrc32);
        serialStrings.insert(r.deviceSerial);
        EXPECT_TRUE(serials.count(r.serial.value_or(0))) << r.id;
    }
    EXPECT_EQ(serialStrings, (std::set<std::string>{"SN1", "SN2", "SN3", "SN4"}));

    // A verify takes the chip's own number from the chip; the file alone
    // would differ there.
    ASSERT_EQ(finish(start(cli(3, {"verify", "--chip", kChip, "--serial", "0x100:4:be",
                                   (dir / "fw.bin").string()}),
                           "verify")),
              0)
        << said("verify");
    const std::uint64_t third = BigEndian(ReadBytes(chipImage(3), kFileBytes), kFieldAddress, 4);
    EXPECT_EQ(json("verify")["serial"].toString().toULongLong(nullptr, 0), third);

    // The day's counts, and the rows for a spreadsheet.
    ASSERT_EQ(finish(start(cli(0, {"log", "--since", "2000-01-01"}), "log")), 0) << said("log");
    const QJsonObject log = json("log")["log"].toObject();
    EXPECT_EQ(log["yields"].toArray().size(), kGang) << said("log");
    ASSERT_EQ(finish(start(cli(0, {"log", "--csv"}), "csv")), 0) << said("csv");
    const std::string csv = ReadText(dir / "csv.out");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), kGang + 2) << csv; // header, verify
}

TEST_P(ProductionCli, AProcessKilledMidWriteLeavesItsRowAndItsNumberSpent) {
    // Bench timing and slow pages on the first programmer: its write of
    // the file takes seconds.
    configure("chip_erase_ms = 50\npage_program_us = 20000\n", true);
    const pid_t victim = start(autoWithSerial(1), "victim");
    ASSERT_GT(victim, 0);
    // Once its row is there and the chip starts to change, the process dies.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const Bytes chip = ReadBytes(chipImage(1), 16);
        writing = !rows().empty() && chip.size() == 16 &&
                  std::equal(chip.begin(), chip.end(), firmware.begin());
    }
    ::kill(victim, SIGKILL);
    EXPECT_EQ(finish(victim), -1);
    ASSERT_TRUE(writing) << said("victim");

    auto logged = rows();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].result, "started"); // it says the chip never finished
    EXPECT_EQ(logged[0].serial, kFirstSerial);

    // The next chip gets the next number: the dead one's stays spent.
    configure("");
    ASSERT_EQ(finish(start(autoWithSerial(2), "next")), 0) << said("next");
    logged = rows();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[1].serial, kFirstSerial + 1);
}

INSTANTIATE_TEST_SUITE_P(Both, ProductionCli, ::testing::Values(Kind::Sqlite, Kind::Postgres),
                         [](const ::testing::TestParamInfo<Kind>& param) {
                             return param.param == Kind::Sqlite ? "Sqlite" : "Postgres";
                         });

// A log that cannot take the row stops the command before the chip is
// touched: the chip image keeps its bytes, and the reason is given.
class RefusingLog : public ProductionCli {};

TEST_P(RefusingLog, AReadOnlyLogFileRefusesBeforeTheChip) {
    ASSERT_EQ(finish(start(autoWithSerial(1), "first")), 0) << said("first");
    const Bytes before = ReadBytes(chipImage(2), kFileBytes);
    std::vector<std::string> asUser;
    if (::geteuid() == 0) {
        // Root writes any file: run as nobody, whom the file does not let in.
        if (::access("/usr/bin/setpriv", X_OK) != 0) {
            GTEST_SKIP() << "root without setpriv cannot test a read-only file";
        }
        if (std::system(
                "setpriv --reuid=65534 --regid=65534 --clear-groups test -x '" VANTOR_CLI_PATH
                "'") != 0) {
            GTEST_SKIP() << "the build tree is out of reach of other users";
        }
        asUser = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        for (int n = 1; n <= kGang; ++n) {
            ASSERT_EQ(::chown(chipImage(n).c_str(), 65534, 65534), 0);
        }
    }
    fs::permissions(logDb, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const pid_t refused = start(autoWithSerial(2), "refused", asUser);
    EXPECT_EQ(finish(refused), 1) << said("refused");
    EXPECT_NE(said("refused").find("Permission denied"), std::string::npos) << said("refused");
    EXPECT_NE(said("refused").find("Nothing was sent to the chip"), std::string::npos);
    EXPECT_EQ(json("refused")["result"].toString(), "log-refused");
    EXPECT_TRUE(ReadBytes(chipImage(2), kFileBytes) == before);
    EXPECT_EQ(rows().size(), 1u);
}

TEST_P(RefusingLog, AFullDiskRefusesBeforeTheChip) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a full disk is simulated with a small tmpfs, which needs root";
    }
    const fs::path small = dir / "small";
    fs::create_directory(small);
    if (std::system(
            ("mount -t tmpfs -o size=256k tmpfs " + small.string() + " 2>/dev/null").c_str()) !=
        0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    logDb = (small / "line.db").string();
    ASSERT_EQ(finish(start(autoWithSerial(1), "first")), 0) << said("first");
    // Fill what is left (dd ends with an error when the disk is full).
    [[maybe_unused]] const int filled = std::system(
        ("dd if=/dev/zero of=" + (small / "filler").string() + " bs=4k 2>/dev/null").c_str());
    const Bytes before = ReadBytes(chipImage(2), kFileBytes);
    const int status = finish(start(autoWithSerial(2), "refused"));
    const std::string words = said("refused");
    [[maybe_unused]] const int unmounted = std::system(("umount " + small.string()).c_str());
    EXPECT_EQ(status, 1) << words;
    EXPECT_NE(words.find("No space left on device"), std::string::npos) << words;
    EXPECT_NE(words.find("Nothing was sent to the chip"), std::string::npos) << words;
    EXPECT_TRUE(ReadBytes(chipImage(2), kFileBytes) == before);
}

INSTANTIATE_TEST_SUITE_P(SqliteFile, RefusingLog, ::testing::Values(Kind::Sqlite));

} // namespace
} // namespace vantor
