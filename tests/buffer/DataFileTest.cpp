#include "buffer/DataFile.h"
#include "buffer/IntelHexFile.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "tests/buffer/BufferTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantor;
using vantor::test::ReadFile;
using vantor::test::TempDir;
using vantor::test::WriteFile;

namespace {

using Strings = std::vector<std::string>;

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override { SetCurrentLanguage(English); }
    void TearDown() override { SetCurrentLanguage(SimplifiedChinese); }

    int32_t Load(const std::string& name, uint32_t size = 0x1000) {
        target.assign(size, 0xFF);
        return LoadDataFile(dir.file(name), target.data(), size);
    }

    RecordingPrompts prompts;
    ScopedPrompts scope{prompts};
    TempDir dir;
    std::vector<uint8_t> target;
};

// One shared 64 MiB buffer: the tests that need the real thing reuse it.
DataBuffer& SharedBuffer() {
    static DataBuffer buffer;
    return buffer;
}

} // namespace

TEST(FileExtensionTest, LastDotOfTheFileNameLowerCase) {
    EXPECT_EQ(FileExtension("/a/b/image.BIN"), ".bin");
    EXPECT_EQ(FileExtension("image.tar.Hex"), ".hex");
    EXPECT_EQ(FileExtension("/some.dir/noext"), "");
    EXPECT_EQ(FileExtension("noext"), "");
    EXPECT_EQ(FileExtension("trailing."), ".");
    EXPECT_EQ(SaveFormatFor("x.SRC"), DataFileFormat::SRecord);
    EXPECT_EQ(SaveFormatFor("x.hEx"), DataFileFormat::IntelHex);
    EXPECT_EQ(SaveFormatFor("x.eep"), DataFileFormat::Raw);
}

TEST_F(DataFileTest, FormatChosenByExtensionInAnyCase) {
    const std::string hex = ":02000000ABCD86\r\n:00000001FF\r\n";
    const std::string srec = "S1050000ABCD82\r\nS9030000FC\r\n";
    struct Case {
        std::string name, content;
        int32_t result;
        uint8_t first;
    };
    const Case cases[] = {
        {"a.BIN", "\x01\x02\x03", 3, 0x01},
        {"a.Hex", hex, 2, 0xAB},
        {"a.rom", hex, static_cast<int32_t>(hex.size()), ':'},
        {"noext", "xyz", 3, 'x'},
        {"a.src", srec, static_cast<int32_t>(srec.size()), 'S'}, // S-records load only as .eep
        {"a.eep", hex, 2, 0xAB},
        {"b.EEP", srec, 2, 0xAB},
        {"c.eep", "s1 lower case is raw", 20, 's'},
        {"d.eep", "", 0, 0xFF},
    };
    for (const auto& c : cases) {
        prompts.clear();
        WriteFile(dir.file(c.name), c.content);
        EXPECT_EQ(Load(c.name), c.result) << c.name;
        EXPECT_EQ(target[0], c.first) << c.name;
        EXPECT_TRUE(prompts.log.empty()) << c.name;
    }
}

TEST_F(DataFileTest, CapsuleSkipsItsHeader) {
    std::string capsule(CapsuleHeaderSize, 'H');
    capsule += "\x11\x22\x33";
    WriteFile(dir.file("bios.CAP"), capsule);
    EXPECT_EQ(Load("bios.CAP"), 3);
    EXPECT_EQ(target[0], 0x11);
    EXPECT_EQ(target[2], 0x33);
    WriteFile(dir.file("short.cap"), std::string(CapsuleHeaderSize, 'H'));
    EXPECT_EQ(Load("short.cap"), 0);
    EXPECT_EQ(target[0], 0xFF);
    // The header counts against the buffer.
    WriteFile(dir.file("big.cap"), std::string(CapsuleHeaderSize + 0x1000 - 1, 'x'));
    EXPECT_EQ(Load("big.cap", 0x1000), 0);
    EXPECT_EQ(prompts.texts("error"), Strings{"File is too big for Buffer"});
}

TEST_F(DataFileTest, MissingFiles) {
    EXPECT_EQ(Load("missing.bin"), 0);
    EXPECT_EQ(Load("missing.eep"), 0);
    EXPECT_EQ(Load("missing.cap"), 0);
    EXPECT_EQ(prompts.texts("error"), Strings(3, "Can't open File"));
    // The codecs stay silent about a file they cannot open.
    prompts.clear();
    EXPECT_EQ(Load("missing.hex"), 0);
    EXPECT_TRUE(prompts.log.empty());
    // A folder is not a data file.
    ::mkdir(dir.file("folder.bin").c_str(), 0755);
    EXPECT_EQ(Load("folder.bin"), 0);
    EXPECT_EQ(prompts.texts("error"), Strings{"Can't open File"});
}

TEST_F(DataFileTest, RawSizeLimitIsTheBuffer) {
    DataBuffer& buffer = SharedBuffer();
    std::string exact = dir.file("exact.bin");
    std::string over = dir.file("over.bin");
    ASSERT_EQ(::truncate((WriteFile(exact, "\x42"), exact.c_str()), DataBufferSize), 0);
    ASSERT_EQ(::truncate((WriteFile(over, "\x42"), over.c_str()), DataBufferSize + 1), 0);
    EXPECT_EQ(LoadIntoDataBuffer(buffer, exact), static_cast<int32_t>(DataBufferSize));
    EXPECT_EQ(buffer[0], 0x42);
    EXPECT_EQ(buffer[DataBufferSize - 1], 0x00);
    EXPECT_TRUE(prompts.log.empty());
    EXPECT_EQ(LoadIntoDataBuffer(buffer, over), 0);
    EXPECT_EQ(buffer.UsedLength, 0);
    EXPECT_EQ(prompts.texts("error"), Strings{"File is too big for Buffer"});
    EXPECT_EQ(buffer[0], 0xFF);
    EXPECT_EQ(buffer[DataBufferSize - 1], 0xFF);
}

TEST_F(DataFileTest, CodecFailureKeepsStoredBytesButLoadsNothing) {
    DataBuffer& buffer = SharedBuffer();
    WriteFile(dir.file("bad.hex"), ":0100000042BD\r\n:0100010043FF\r\n");
    EXPECT_EQ(LoadIntoDataBuffer(buffer, dir.file("bad.hex")), 0);
    EXPECT_EQ(prompts.texts("file"), Strings{"Checksum Error type 0"});
    EXPECT_EQ(buffer[0], 0x42);
    EXPECT_EQ(buffer[1], 0x43);
    EXPECT_EQ(buffer[2], 0xFF);
}

TEST_F(DataFileTest, SaveByExtension) {
    const uint8_t data[] = {0x00, 0x01, 0xFF, 0x80};
    ASSERT_TRUE(SaveDataFile(dir.file("a.bin"), data, 4));
    EXPECT_EQ(ReadFile(dir.file("a.bin")), std::string("\x00\x01\xFF\x80", 4));
    ASSERT_TRUE(SaveDataFile(dir.file("a.HEX"), data, 4));
    EXPECT_EQ(ReadFile(dir.file("a.HEX")), ":040000000001FF807C\r\n:00000001FF\r\n");
    ASSERT_TRUE(SaveDataFile(dir.file("a.Src"), data, 4));
    EXPECT_EQ(ReadFile(dir.file("a.Src")),
              "S00600004844521B\r\nS10700000001FF8078\r\nS9030000FC\r\n");
    ASSERT_TRUE(SaveDataFile(dir.file("a.eep"), data, 4));
    EXPECT_EQ(ReadFile(dir.file("a.eep")).size(), 4u);
    EXPECT_TRUE(prompts.log.empty());
    // Nothing but the saved files is left in the folder.
    EXPECT_EQ(dir.names().size(), 4u);
}

TEST_F(DataFileTest, OverwriteAsksFirst) {
    const uint8_t data[] = {0x11};
    WriteFile(dir.file("old.bin"), "old");
    prompts.yesNoAnswers = {false};
    EXPECT_FALSE(SaveDataFile(dir.file("old.bin"), data, 1));
    EXPECT_EQ(ReadFile(dir.file("old.bin")), "old");
    EXPECT_EQ(prompts.texts("question"), Strings{"File already exists. Is it covered? "});
    prompts.yesNoAnswers = {true};
    EXPECT_TRUE(SaveDataFile(dir.file("old.bin"), data, 1));
    EXPECT_EQ(ReadFile(dir.file("old.bin")), "\x11");
}

TEST_F(DataFileTest, ReplacingKeepsModeAndFollowsLinks) {
    const uint8_t data[] = {0x22};
    std::string real = dir.file("real.bin");
    std::string link = dir.file("link.bin");
    WriteFile(real, "old");
    ::chmod(real.c_str(), 0640);
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    prompts.yesNoAnswers = {true};
    ASSERT_TRUE(SaveDataFile(link, data, 1));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFile(real), "\x22");
}

TEST_F(DataFileTest, CreateFailures) {
    const uint8_t data[] = {0x33};
    EXPECT_FALSE(SaveDataFile(dir.file("no/such/folder.bin"), data, 1));
    EXPECT_FALSE(SaveDataFile(dir.file("no/such/folder.hex"), data, 1));
    EXPECT_FALSE(SaveDataFile(dir.file("no/such/folder.src"), data, 1));
    EXPECT_EQ(prompts.texts("error"),
              (Strings{"创建文件失败", "Error writing file.", "Error writing file."}));
}

TEST_F(DataFileTest, FailedWriteLeavesTheOldFile) {
    // A file size limit makes the writes fail part way, as a full disk would.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::vector<uint8_t> data(0x2000, 0x00);
    Strings errors;
    for (const char* name : {"old.bin", "old.hex", "old.src"}) {
        WriteFile(dir.file(name), "old");
        prompts.yesNoAnswers = {true};
        EXPECT_FALSE(SaveDataFile(dir.file(name), data.data(), 0x2000)) << name;
        EXPECT_EQ(ReadFile(dir.file(name)), "old") << name;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(prompts.texts("error"), Strings(3, "Error writing file."));
    EXPECT_EQ(dir.names().size(), 3u); // no temporary file left behind
}

TEST_F(DataFileTest, OpenCommand) {
    DataBuffer& buffer = SharedBuffer();
    int refreshes = 0;
    Strings logged;
    DataFileHooks hooks;
    hooks.RefreshHexView = [&] { ++refreshes; };
    hooks.LogLine = [&](const std::string& text) { logged.push_back(text); };

    // Cancelled: nothing happens.
    buffer.UsedLength = 7;
    EXPECT_FALSE(OpenDataFileCommand(buffer, hooks));
    EXPECT_EQ(buffer.UsedLength, 7);
    EXPECT_EQ(refreshes, 0);

    buffer[100] = 0x00;
    std::string path = dir.file("img.bin");
    WriteFile(path, "\x01\x02");
    std::string missing = dir.file("missing.bin");
    prompts.fileAnswers = {path, missing};
    EXPECT_TRUE(OpenDataFileCommand(buffer, hooks));
    EXPECT_EQ(buffer.UsedLength, 2);
    EXPECT_EQ(buffer[1], 0x02);
    EXPECT_EQ(buffer[100], 0xFF); // cleared before loading
    // A failed load still refreshes the pane and logs the attempt.
    EXPECT_TRUE(OpenDataFileCommand(buffer, hooks));
    EXPECT_EQ(buffer.UsedLength, 0);
    EXPECT_EQ(buffer[0], 0xFF);
    EXPECT_EQ(refreshes, 2);
    EXPECT_EQ(logged, (Strings{"Open" + path, "Open" + missing}));
}

TEST_F(DataFileTest, SaveCommandWritesTheWholeChipAfterSync) {
    DataBuffer& buffer = SharedBuffer();
    std::memset(buffer.data(), 0xFF, 0x400000);
    buffer.UsedLength = 10;
    Strings order;
    DataFileHooks hooks;
    hooks.SyncBufferFromEditor = [&] {
        order.push_back("sync");
        buffer[5] = 0x5A; // an edit taken over from the pane
    };
    EXPECT_FALSE(SaveDataFileCommand(buffer, 0x400000, hooks));
    EXPECT_TRUE(order.empty()); // cancelled before syncing

    prompts.fileAnswers = {dir.file("chip.bin"), dir.file("chip")};
    EXPECT_TRUE(SaveDataFileCommand(buffer, 0x400000, hooks));
    std::string saved = ReadFile(dir.file("chip.bin"));
    EXPECT_EQ(saved.size(), 0x400000u);
    EXPECT_EQ(static_cast<uint8_t>(saved[5]), 0x5A);
    // A name without an extension gets ".hex".
    EXPECT_TRUE(SaveDataFileCommand(buffer, 0x100, hooks));
    std::string record = ":20000000";
    for (int i = 0; i < 32; ++i)
        record += i == 5 ? "5A" : "FF";
    record += "A5\r\n"; // 0x20 + 31 * 0xFF + 0x5A = 0x1F5B
    EXPECT_EQ(ReadFile(dir.file("chip.hex")), record + ":00000001FF\r\n");
    EXPECT_EQ(order, (Strings{"sync", "sync"}));
}

TEST_F(DataFileTest, TheChosenFilterNamesABareFileAndOtherToolsSRecordNamesWork) {
    DataBuffer& buffer = SharedBuffer();
    std::memset(buffer.data(), 0xFF, 0x100);
    buffer[0] = 0x41;
    const std::string filters = SaveFileFilter();
    EXPECT_EQ(filters.substr(0, filters.find(";;")), "Binary (*.bin)"); // preselected as ever
    struct Case {
        const char* filter;
        const char* file;
        char first;
    } cases[] = {{"Binary (*.bin)", "dump.bin", 'A'},
                 {"Intel Hex(*.hex)", "dump.hex", ':'},
                 {"Motorola S-record (*.srec *.s19 *.mot *.src)", "dump.srec", 'S'},
                 {"All files (*)", "dump.hex", ':'}};
    for (const Case& c : cases) {
        prompts.saveFilter = c.filter;
        prompts.fileAnswers = {dir.file("dump")};
        prompts.yesNoAnswers = {true};
        ASSERT_TRUE(SaveDataFileCommand(buffer, 0x100, {})) << c.filter;
        EXPECT_EQ(ReadFile(dir.file(c.file)).at(0), c.first) << c.filter;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("dump")));
    // Every S-record name reads as S-records, in any letter case.
    for (const char* name : {"a.S19", "a.srec", "a.mot"}) {
        std::filesystem::copy_file(dir.file("dump.srec"), dir.file(name));
        EXPECT_EQ(Load(name), 16) << name; // one record: the rest is all FFh
        EXPECT_EQ(target[0], 0x41) << name;
        EXPECT_EQ(SaveFormatFor(name), DataFileFormat::SRecord);
    }
    // Open offers everything it reads first, named in the current language.
    SetCurrentLanguage(TraditionalChinese);
    const std::string open = OpenFileFilter();
    SetCurrentLanguage(English);
    EXPECT_EQ(open.substr(0, open.find(";;")),
              "所有支援的檔案 (*.bin *.rom *.cap *.hex *.eep *.src *.s19 *.srec *.mot)");
}

TEST_F(DataFileTest, SaveCommandNeverReadsPastTheBuffer) {
    DataBuffer& buffer = SharedBuffer();
    prompts.fileAnswers = {dir.file("huge.bin")};
    EXPECT_TRUE(SaveDataFileCommand(buffer, 0x8000000, {}));
    EXPECT_EQ(ReadFile(dir.file("huge.bin")).size(), DataBufferSize);
}
