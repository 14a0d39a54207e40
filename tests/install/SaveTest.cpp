// Saves that never destroy the old file, reads that never wait, and where the
// files live when the program is installed. Permissions mean nothing to root,
// so when run as root this binary runs itself again as "nobody".
#include "buffer/DataFile.h"
#include "chipdb/DatabaseFile.h"
#include "core/FilePlaces.h"
#include "core/IniFile.h"
#include "core/Prompts.h"
#include "core/SafeSave.h"
#include "core/SettingsFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vantor;

namespace {

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs `body` in a child process and returns its wait status.
template <typename Body> int InChild(Body body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

struct RecordingPrompts : Prompts {
    std::vector<std::string> errors;
    void showError(const std::string& text) override { errors.push_back(text); }
    void showInformation(const std::string&) override {}
    void showFileMessage(const std::string& text) override { errors.push_back(text); }
    bool askYesNo(const std::string&) override { return true; }
    std::string chooseOpenFile(const std::string&, const std::string&) override { return {}; }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return {}; }
};

class SaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/vantor-save-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
        InstallPrompts(&prompts);
    }
    void TearDown() override {
        InstallPrompts(nullptr);
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
            ::chmod(entry.path().c_str(), 0755);
        ::chmod(dir.c_str(), 0755);
        fs::remove_all(dir, ec);
    }
    static bool Privileged() { return ::geteuid() == 0; }

    fs::path dir;
    RecordingPrompts prompts;
};

#define NEEDS_PERMISSIONS()                                                                        \
    if (Privileged())                                                                              \
    GTEST_SKIP() << "root ignores permissions; no unprivileged user could run this"

TEST_F(SaveTest, ReplacesTheWholeFileKeepingItsModeAndLeavesNoTemporaryFile) {
    const fs::path target = dir / "image.bin";
    Put(target, "old content that is longer");
    ::chmod(target.c_str(), 0640);
    ASSERT_TRUE(SaveWholeFile(target, "new", 3));
    EXPECT_EQ(Slurp(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_EQ(Names(dir), std::vector<std::string>{"image.bin"});

    // The temporary name does not grow with the target's: a name of the
    // longest length the folder allows still saves.
    const fs::path longest = dir / std::string(255, 'n');
    Put(longest, "old");
    EXPECT_TRUE(SaveWholeFile(longest, "new", 3));
    EXPECT_EQ(Slurp(longest), "new");
}

TEST_F(SaveTest, AReadOnlyFolderOrTargetKeepsTheOldFileAndEachWriterSaysSo) {
    NEEDS_PERMISSIONS();
    const fs::path locked = dir / "locked";
    fs::create_directory(locked);
    Put(locked / "vantor.ini", "[DEVICE]\nLANGU=2\n");
    Put(locked / "vantor.Dat", std::string(68, 'd'));
    Put(locked / "image.bin", "old");
    ::chmod(locked.c_str(), 0555);
    const fs::path readOnly = dir / "readonly.bin";
    Put(readOnly, "old");
    ::chmod(readOnly.c_str(), 0444);

    SafeFile file;
    EXPECT_FALSE(file.Open(locked / "image.bin"));
    EXPECT_EQ(file.failure(), SafeFile::Failure::CannotCreate);
    EXPECT_FALSE(file.Open(readOnly));
    EXPECT_EQ(file.failure(), SafeFile::Failure::ReadOnly);

    IniFile ini;
    ini.setValue("DEVICE", "LANGU", "0");
    EXPECT_FALSE(ini.save(locked / "vantor.ini"));
    EXPECT_FALSE(WriteDatabaseFile(locked / "vantor.Dat", "x", 1));
    EXPECT_FALSE(SaveDataFile(locked / "image.bin", reinterpret_cast<const uint8_t*>("new"), 3));
    EXPECT_FALSE(SaveDataFile(readOnly, reinterpret_cast<const uint8_t*>("new"), 3));
    EXPECT_EQ(prompts.errors[0], CannotCreateFileText(locked / "vantor.Dat"));
    EXPECT_EQ(prompts.errors.size(), 3u);

    EXPECT_EQ(Slurp(locked / "vantor.ini"), "[DEVICE]\nLANGU=2\n");
    EXPECT_EQ(Slurp(locked / "vantor.Dat"), std::string(68, 'd'));
    EXPECT_EQ(Slurp(locked / "image.bin"), "old");
    EXPECT_EQ(Slurp(readOnly), "old");
    EXPECT_EQ(Names(locked), (std::vector<std::string>{"image.bin", "vantor.Dat", "vantor.ini"}));
}

TEST_F(SaveTest, AFullDiskKeepsTheOldFileAndLeavesNoTemporaryFile) {
    // The file-size limit makes every write past 16 bytes fail, as a full
    // disk would, without needing one.
    const fs::path target = dir / "image.bin";
    Put(target, "old");
    const int status = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string big(4096, 'x');
        SafeFile::Failure failure{};
        const bool saved = SaveWholeFile(target, big.data(), big.size(), &failure);
        ::_exit(!saved && failure == SafeFile::Failure::WriteFailed ? 0 : 1);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"image.bin"});
}

TEST_F(SaveTest, ALinkStaysALinkAndItsFileIsReplaced) {
    fs::create_directory(dir / "real");
    Put(dir / "real" / "vantor.ini", "old");
    fs::create_symlink("real/vantor.ini", dir / "link.ini");
    IniFile ini;
    ini.setValue("DEVICE", "SPEED", "3");
    ASSERT_TRUE(ini.save(dir / "link.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(Slurp(dir / "real" / "vantor.ini"), "[DEVICE]\nSPEED=3\n");
}

TEST_F(SaveTest, StreamsAreWrittenStraightThroughNotReplaced) {
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = Slurp(fifo); });
    EXPECT_TRUE(SaveWholeFile(fifo, "through", 7));
    reader.join();
    EXPECT_EQ(received, "through");
    EXPECT_TRUE(fs::is_fifo(fifo));

    // A name for a descriptor we hold (as /dev/stdout is) writes to it.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_TRUE(SaveWholeFile("/dev/fd/" + std::to_string(ends[1]), "fd", 2));
    ::close(ends[1]);
    char got[8] = {};
    EXPECT_EQ(::read(ends[0], got, sizeof got), 2);
    ::close(ends[0]);
    EXPECT_STREQ(got, "fd");

    if (!Privileged()) { // never risk replacing /dev/null as root
        EXPECT_TRUE(SaveWholeFile("/dev/null", "x", 1));
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
    }
}

TEST_F(SaveTest, SignalsRemoveTheTemporaryFileAndALaterSaveRemovesStaleOnes) {
    const fs::path target = dir / "vantor.Dat";
    Put(target, "old");
    for (int signal : {SIGINT, SIGTERM}) {
        const int status = InChild([&] {
            SafeFile file;
            if (file.Open(target) && file.Write("half", 4))
                ::raise(signal);
            ::_exit(3);
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(Names(dir), std::vector<std::string>{"vantor.Dat"});
    }

    // A process killed outright leaves its temporary file behind.
    InChild([&] {
        SafeFile file;
        file.Open(target);
        file.Write("half", 4);
        ::_exit(0);
    });
    Put(dir / (TempNamePrefix("other.bin", 1) + "abcdef"), "not ours");
    ASSERT_EQ(Names(dir).size(), 3u);
    ASSERT_TRUE(SaveWholeFile(target, "new", 3));
    EXPECT_EQ(Slurp(target), "new");
    EXPECT_EQ(Names(dir).size(), 2u); // the other target's file stays
}

TEST_F(SaveTest, InputsThatAreNotFilesAreRefusedAtOnce) {
    const fs::path fifo = dir / "vantor.Dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_LT(OpenRegularForReading(fifo), 0);
    EXPECT_LT(OpenRegularForReading("/dev/zero"), 0);
    Put(dir / "plain", "x");
    const int fd = OpenRegularForReading(dir / "plain");
    EXPECT_GE(fd, 0);
    ::close(fd);

    ChipDatabase db;
    EXPECT_EQ(LoadDatabaseFile(db, fifo), DatabaseLoadResult::CannotOpen);
    IniFile ini;
    EXPECT_FALSE(ini.load(fifo));
}

// ---- file places ------------------------------------------------------------------------

TEST_F(SaveTest, PlacesBesideAWritableExecutableElseTheUsersFolders) {
    const fs::path portable = dir / "portable";
    fs::create_directory(portable);
    const FilePlaces here = ResolveFilePlaces(portable / "vantor");
    EXPECT_TRUE(here.portable);
    EXPECT_EQ(here.settings, portable / "vantor.ini");
    EXPECT_EQ(here.database, portable / "vantor.Dat");
    EXPECT_EQ(here.databaseSave, here.database);
    // Root may write /usr/bin; an installed copy stays installed all the same.
    fs::create_directories(dir / "share" / "vantor");
    Put(dir / "share" / "vantor" / "vantor.Dat", "");
    EXPECT_FALSE(ResolveFilePlaces(portable / "vantor").portable);
    Put(portable / "vantor.Dat", "");
    EXPECT_TRUE(ResolveFilePlaces(portable / "vantor").portable);

    NEEDS_PERMISSIONS();
    const fs::path prefix = dir / "usr";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "vantor");
    Put(prefix / "share" / "vantor" / "vantor.Dat", "");
    ::chmod((prefix / "bin").c_str(), 0555);
    const fs::path home = dir / "home";
    std::map<std::string, std::string> env{{"HOME", home}};
    auto lookup = [&](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    };
    FilePlaces installed = ResolveFilePlaces(prefix / "bin" / "vantor", lookup);
    EXPECT_FALSE(installed.portable);
    EXPECT_EQ(installed.settings, home / ".config/vantor/vantor.ini");
    EXPECT_EQ(installed.database, prefix / "share/vantor/vantor.Dat");
    EXPECT_EQ(installed.databaseSave, home / ".local/share/vantor/vantor.Dat");

    // The settings folder is made at the first close; the user's database,
    // once saved, is the one read.
    env["XDG_CONFIG_HOME"] = dir / "config";
    env["XDG_DATA_HOME"] = dir / "data";
    installed = ResolveFilePlaces(prefix / "bin" / "vantor", lookup);
    EXPECT_EQ(installed.settings, dir / "config/vantor/vantor.ini");
    ASSERT_TRUE(CreateParentFolders(installed.databaseSave));
    ASSERT_TRUE(WriteDatabaseFile(installed.databaseSave, "", 0));
    EXPECT_EQ(ResolveFilePlaces(prefix / "bin" / "vantor", lookup).database,
              dir / "data/vantor/vantor.Dat");
    EXPECT_EQ(Names(prefix / "bin"), std::vector<std::string>{});
}

// ---- vantor-cli writes "-" to its standard output ----------------------------------------

TEST_F(SaveTest, CliConvertToDashWritesStandardOutput) {
    Put(dir / "in.bin", "ABCD");
    const std::string command =
        std::string(VANTOR_CLI_PATH) + " convert " + (dir / "in.bin").string() + " - 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char out[16] = {};
    const size_t n = std::fread(out, 1, sizeof out, pipe);
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(std::string(out, n), "ABCD");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"in.bin"});
}

} // namespace

// True when any user may reach and run the file at `path` (a build tree
// under /root is not).
static bool OpenToEveryone(const std::string& path) {
    struct stat st {};
    for (fs::path p = path; !p.empty() && p != p.root_path(); p = p.parent_path()) {
        const mode_t need = p == fs::path(path) ? (S_IROTH | S_IXOTH) : S_IXOTH;
        if (::stat(p.c_str(), &st) != 0 || (st.st_mode & need) != need)
            return false;
    }
    return true;
}

int main(int argc, char** argv) {
    // Root may write anything; the permission cases need an ordinary user.
    if (::geteuid() == 0 && std::getenv("VANTOR_TEST_UNPRIVILEGED") == nullptr &&
        ::access("/usr/bin/setpriv", X_OK) == 0 && ::getpwuid(65534) != nullptr) {
        char self[4096];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n > 0)
            self[n] = '\0';
        if (n > 0 && OpenToEveryone(self) && OpenToEveryone(VANTOR_CLI_PATH)) {
            ::setenv("VANTOR_TEST_UNPRIVILEGED", "1", 1);
            std::vector<char*> args{
                const_cast<char*>("setpriv"), const_cast<char*>("--reuid=65534"),
                const_cast<char*>("--regid=65534"), const_cast<char*>("--clear-groups"), self};
            for (int i = 1; i < argc; ++i)
                args.push_back(argv[i]);
            args.push_back(nullptr);
            ::execv("/usr/bin/setpriv", args.data());
            // No such user or no setpriv: run as we are; permission cases skip.
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
