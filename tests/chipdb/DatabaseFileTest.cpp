#include "chipdb/DatabaseFile.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "tests/chipdb/ChipTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace vantor;
using vantor::test::MakeRecord;
namespace fs = std::filesystem;

namespace {

class DatabaseFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/chipdb-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/vantor.Dat";
        SetCurrentLanguage(English);
    }
    void TearDown() override {
        fs::remove_all(dir);
        SetCurrentLanguage(SimplifiedChinese);
    }

    void WriteRaw(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    std::string ReadRaw(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // N records "T,M,i" as file bytes, without a terminator.
    static std::string Records(int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            auto b = EncodeChipRecord(MakeRecord("T,M," + std::to_string(i)));
            out.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        return out;
    }
    DatabaseLoadResult Load() {
        selects.clear();
        return LoadChipDatabase(
            db, path,
            [this](int t, int m, int n) {
                selects.push_back({t, m, n});
            },
            1, 2, 3);
    }

    std::string dir, path;
    ChipDatabase db;
    RecordingPrompts prompts;
    ScopedPrompts scope{prompts};
    std::vector<std::tuple<int, int, int>> selects;
};

} // namespace

TEST(DatabasePath, ReplacesTheExtensionOfTheFileNameOnly) {
    EXPECT_EQ(DatabasePath("/opt/vantor/vantor"), "/opt/vantor/vantor.Dat");
    EXPECT_EQ(DatabasePath("/opt/vantor/prog.exe"), "/opt/vantor/prog.Dat");
    EXPECT_EQ(DatabasePath("/opt/v1.2/vantor"), "/opt/v1.2/vantor.Dat");
    EXPECT_EQ(DatabasePath("prog.bin"), "prog.Dat");
    EXPECT_EQ(DatabasePath(CurrentExecutablePath()).substr(0, 1), "/");
}

TEST_F(DatabaseFileTest, MissingFileChangesNothingAndSelectsNothing) {
    db[0] = MakeRecord("A,X,1");
    EXPECT_EQ(Load(), DatabaseLoadResult::Missing);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_TRUE(selects.empty());
    EXPECT_EQ(NameTextBytes(db[0]), "A,X,1");
}

TEST_F(DatabaseFileTest, EmptyFileLoadsSilentlyAndSelectsWithTheRememberedPositions) {
    WriteRaw("");
    EXPECT_EQ(Load(), DatabaseLoadResult::Loaded);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_EQ(db.RecordCount(), 0);
    EXPECT_EQ(selects, (std::vector<std::tuple<int, int, int>>{{1, 2, 3}}));
}

TEST_F(DatabaseFileTest, RecordsWithoutATerminatorAreAllVisible) {
    for (int n : {1, 5, 1000}) {
        db.Clear();
        WriteRaw(Records(n));
        EXPECT_EQ(Load(), DatabaseLoadResult::Loaded);
        EXPECT_EQ(db.RecordCount(), n);
    }
    EXPECT_EQ(NameTextBytes(db[999]), "T,M,999");
    EXPECT_TRUE(prompts.log.empty());
}

TEST_F(DatabaseFileTest, SizeNotAMultipleOf68IsRefusedAndTheOldRecordsStay) {
    db[0] = MakeRecord("A,X,1");
    WriteRaw(Records(1) + "x"); // 69 bytes
    EXPECT_EQ(Load(), DatabaseLoadResult::BadSize);
    EXPECT_EQ(prompts.texts("information"),
              std::vector<std::string>{"The configuration file was destroyed."});
    EXPECT_TRUE(selects.empty());
    EXPECT_EQ(NameTextBytes(db[0]), "A,X,1");

    // The editor's load always says it in Simplified Chinese.
    prompts.clear();
    EXPECT_EQ(LoadDatabaseFile(db, path), DatabaseLoadResult::BadSize);
    EXPECT_EQ(prompts.texts("information"), std::vector<std::string>{"配置文件被破坏！"});
}

TEST_F(DatabaseFileTest, MessageEightFollowsTheCurrentLanguage) {
    WriteRaw("x");
    SetCurrentLanguage(TraditionalChinese);
    Load();
    EXPECT_EQ(prompts.texts("information"), std::vector<std::string>{"配置文件被破壞！"});
}

TEST_F(DatabaseFileTest, SlotsPastTheEndOfTheFileKeepTheirContent) {
    test::Fill(db, {MakeRecord("old0"), MakeRecord("old1"), MakeRecord("old2")});
    WriteRaw(Records(2));
    ASSERT_EQ(LoadDatabaseFile(db, path), DatabaseLoadResult::Loaded);
    EXPECT_EQ(NameTextBytes(db[1]), "T,M,1");
    EXPECT_EQ(NameTextBytes(db[2]), "old2");
}

TEST_F(DatabaseFileTest, AFileOfMoreThan1000RecordsLoadsTheFirst1000AndSaysSo) {
    WriteRaw(Records(1002));
    EXPECT_EQ(Load(), DatabaseLoadResult::Loaded);
    EXPECT_EQ(db.RecordCount(), 1000);
    EXPECT_EQ(NameTextBytes(db[999]), "T,M,999");
    EXPECT_EQ(prompts.texts("information"), std::vector<std::string>{TooManyRecordsText(path)});
    EXPECT_EQ(selects.size(), 1u);
}

TEST_F(DatabaseFileTest, AnUnreadableFileSaysCannotOpenAndKeepsTheRecords) {
    db[0] = MakeRecord("A,X,1");
    fs::create_directory(path); // exists, but is not a file that can be read
    EXPECT_EQ(Load(), DatabaseLoadResult::CannotOpen);
    EXPECT_EQ(prompts.texts("error"), std::vector<std::string>{"Cannot open file " + path});
    EXPECT_TRUE(selects.empty());
    EXPECT_EQ(NameTextBytes(db[0]), "A,X,1");
}

TEST_F(DatabaseFileTest, EditorSaveWritesRecordsAndTerminatorThatLoadBackEqual) {
    test::Fill(db, {MakeRecord("A,X,1"), MakeRecord("B,Y,2"), MakeRecord("C,Z,3")});
    db[2].ChipId = 0x1234;
    MarkTerminator(db[2]); // the editor's terminator slot after two rows
    ASSERT_TRUE(WriteDatabaseFile(path, db, 3));
    const std::string bytes = ReadRaw(path);
    ASSERT_EQ(bytes.size(), 3 * kChipRecordSize);
    EXPECT_EQ(bytes.substr(2 * 68, 20), std::string(20, '\0'));

    ChipDatabase back;
    ASSERT_EQ(LoadDatabaseFile(back, path), DatabaseLoadResult::Loaded);
    EXPECT_EQ(back.RecordCount(), 2);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(back[i], db[i]) << i;
    EXPECT_TRUE(prompts.log.empty());
}

TEST_F(DatabaseFileTest, WriteReplacesAtomicallyKeepingModeAndLeavingNoTemporaryFile) {
    WriteRaw("old");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(WriteDatabaseFile(path, "new bytes", 9));
    EXPECT_EQ(ReadRaw(path), "new bytes");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // Through a link: the file behind it is replaced, the link stays.
    const std::string link = dir + "/link.Dat";
    fs::create_symlink(path, link);
    ASSERT_TRUE(WriteDatabaseFile(link, "via link", 8));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadRaw(path), "via link");
}

TEST_F(DatabaseFileTest, AFailedWriteSaysCannotCreateAndLeavesTheOldFileWhole) {
    const std::string missingDir = dir + "/no/such/dir/vantor.Dat";
    EXPECT_FALSE(WriteDatabaseFile(missingDir, "abc", 3));
    EXPECT_EQ(prompts.texts("error"), std::vector<std::string>{"Cannot create file " + missingDir});

    // A directory in the way cannot be replaced by the rename: the temporary
    // file is removed again and what was there stays.
    prompts.clear();
    const std::string blocked = dir + "/blocked.Dat";
    fs::create_directory(blocked);
    std::ofstream(blocked + "/keep") << "x";
    EXPECT_FALSE(WriteDatabaseFile(blocked, "abc", 3));
    EXPECT_EQ(prompts.texts("error"), std::vector<std::string>{"Cannot create file " + blocked});
    EXPECT_TRUE(fs::exists(blocked + "/keep"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
