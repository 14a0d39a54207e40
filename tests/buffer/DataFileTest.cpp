#include "buffer/DataFile.h"
#include "buffer/IntelHexFile.h"
#include "buffer/OutputFile.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "tests/buffer/BufferTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
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
    EXPECT_EQ(FormatForPath("x.SRC"), DataFileFormat::SRecord);
    EXPECT_EQ(FormatForPath("x.hEx"), DataFileFormat::IntelHex);
    EXPECT_EQ(FormatForPath("x.eep"), DataFileFormat::Raw);
}

TEST_F(DataFileTest, FormatChosenByExtensionInAnyCase) {
    const std::string hex = ":02000000ABCD86\r\n:00000001FF\r\n";
    const std::string srec = "S1050000ABCD82\r\nS9030000FC\r\n";
    struct Case {
        std::string name, content;
        int32_t result;
        uint8_t first;
        bool warned; // raw by name, but plainly a text format; or empty
    };
    const Case cases[] = {
        {"a.BIN", "\x01\x02\x03", 3, 0x01, false},
        {"a.Hex", hex, 2, 0xAB, false},
        {"a.IHX", hex, 2, 0xAB, false},
        {"a.ihex", hex, 2, 0xAB, false},
        {"a.h86", hex, 2, 0xAB, false},
        {"a.rom", hex, static_cast<int32_t>(hex.size()), ':', true},
        {"noext", "xyz", 3, 'x', false},
        {"a.src", srec, 2, 0xAB, false},
        {"a.S28", srec, 2, 0xAB, false},
        {"a.s37", srec, 2, 0xAB, false},
        {"a.sx", srec, 2, 0xAB, false},
        {"a.s", srec, 2, 0xAB, false},
        {"a.eep", hex, static_cast<int32_t>(hex.size()), ':', true},
        {"b.EEP", "\n" + srec, static_cast<int32_t>(srec.size() + 1), '\n', true},
        {"c.eep", "S1 is no record", 15, 'S', false},
        {"d.eep", "", 0, 0xFF, true},
    };
    for (const auto& c : cases) {
        prompts.clear();
        WriteFile(dir.file(c.name), c.content);
        EXPECT_EQ(Load(c.name), c.result) << c.name;
        EXPECT_EQ(target[0], c.first) << c.name;
        EXPECT_EQ(prompts.texts("information").size(), c.warned ? 1u : 0u) << c.name;
        EXPECT_TRUE(prompts.texts("error").empty()) << c.name;
    }
    // The format asked for overrides the name.
    LoadRequest asHex;
    asHex.format = DataFileFormat::IntelHex;
    target.assign(0x1000, 0xFF);
    EXPECT_EQ(LoadDataFile(dir.file("a.eep"), target.data(), 0x1000, asHex), 2);
    EXPECT_EQ(target[0], 0xAB);
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

TEST_F(DataFileTest, CodecFailureLoadsNothingAndNamesTheLine) {
    DataBuffer& buffer = SharedBuffer();
    WriteFile(dir.file("bad.hex"), ":0100000042BD\r\n:0100010043FF\r\n");
    EXPECT_EQ(LoadIntoDataBuffer(buffer, dir.file("bad.hex")), 0);
    EXPECT_EQ(prompts.texts("file"), Strings{"Checksum Error type 0 in line 2"});
    EXPECT_EQ(buffer[1], 0xFF);
    // An empty load names the file.
    WriteFile(dir.file("end.hex"), ":00000001FF\n");
    EXPECT_EQ(LoadIntoDataBuffer(buffer, dir.file("end.hex")), 0);
    EXPECT_EQ(prompts.texts("information"),
              Strings{FormatMessage(Own::NothingLoaded, {dir.file("end.hex")})});
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
    // A name without an extension, no filter named: raw, under that name.
    EXPECT_TRUE(SaveDataFileCommand(buffer, 0x100, hooks));
    EXPECT_EQ(ReadFile(dir.file("chip")).size(), 0x100u);
    EXPECT_EQ(order, (Strings{"sync", "sync"}));
}

TEST_F(DataFileTest, TheChosenFilterDecidesFormatAndBareName) {
    DataBuffer& buffer = SharedBuffer();
    std::memset(buffer.data(), 0xFF, 0x100);
    buffer[0] = 0x41;
    buffer.LoadBase = 0;
    const std::string filters = SaveFileFilter();
    EXPECT_EQ(filters.substr(0, filters.find(";;")), "Binary (*.bin)"); // preselected as ever
    struct Case {
        const char* filter;
        const char* typed;
        const char* file;
        char first;
    } cases[] = {{"Binary (*.bin)", "dump", "dump.bin", 'A'},
                 {"Intel Hex (*.hex *.ihx *.ihex *.h86)", "dump", "dump.hex", ':'},
                 {"Motorola S-record (*.s19 *.s28 *.s37 *.srec *.mot *.sx *.src *.s)", "dump",
                  "dump.s19", 'S'},
                 {"Intel Hex (*.hex *.ihx *.ihex *.h86)", "other.bin", "other.bin", ':'},
                 {"All files (*)", "plain", "plain", 'A'},
                 {"All files (*)", "named.srec", "named.srec", 'S'}};
    for (const Case& c : cases) {
        EXPECT_NE(filters.find(c.filter), std::string::npos) << c.filter;
        prompts.saveFilter = c.filter;
        prompts.fileAnswers = {dir.file(c.typed)};
        prompts.yesNoAnswers = {true};
        ASSERT_TRUE(SaveDataFileCommand(buffer, 0x100, {})) << c.filter;
        EXPECT_EQ(ReadFile(dir.file(c.file)).at(0), c.first) << c.filter;
    }
    // Open reads in the filter's format whatever the name says.
    prompts.fileAnswers = {dir.file("other.bin")};
    prompts.openFilter = "Intel Hex (*.hex *.ihx *.ihex *.h86)";
    EXPECT_TRUE(OpenDataFileCommand(buffer, {}));
    EXPECT_EQ(buffer.UsedLength, 32); // one record of 32 bytes
    // Open offers everything it reads first, named in the current language.
    SetCurrentLanguage(TraditionalChinese);
    const std::string open = OpenFileFilter();
    SetCurrentLanguage(English);
    EXPECT_EQ(open.substr(0, open.find(";;")),
              "所有支援的檔案 (*.bin *.hex *.ihx *.ihex *.h86 *.rom *.s19 *.s28 *.s37 *.srec "
              "*.mot *.sx *.src *.s *.cap)");
}

TEST_F(DataFileTest, RoundTripsThroughEveryExtensionKeepBytesAndAddresses) {
    auto image = test::RandomBytes(0x12345, 23);
    image[0] = 0x00;
    std::vector<uint8_t> back(0x20000);
    for (const DataFormatEntry& entry : DataFormatTable()) {
        for (const char* ext : entry.extensions) {
            const bool text =
                entry.format == DataFileFormat::IntelHex || entry.format == DataFileFormat::SRecord;
            const std::string path = dir.file(std::string("image") + ext);
            SaveRequest save;
            save.base = text ? 0x08000000 : 0;
            ASSERT_TRUE(SaveDataFile(path, image.data(), uint32_t(image.size()), save)) << ext;
            LoadRequest load;
            load.baseChoice = BaseChoice::Auto;
            uint64_t base = 1;
            std::fill(back.begin(), back.end(), 0xFF);
            EXPECT_EQ(LoadDataFile(path, back.data(), uint32_t(back.size()), load, &base),
                      int32_t(image.size()))
                << ext;
            EXPECT_EQ(base, save.base) << ext;
            EXPECT_EQ(std::memcmp(back.data(), image.data(), image.size()), 0) << ext;
        }
    }
    EXPECT_TRUE(prompts.log.empty()) << prompts.log.front().text;
}

TEST_F(DataFileTest, DataAboveTheBufferIsLoadedFromABase) {
    // Data at 0x08000010: refused from base 0 (naming where it lies and the
    // base to give), taken from 0x08000000 when asked for or agreed to.
    const std::string hex = ":020000040800F2\n:020010001234A8\n:00000001FF\n";
    WriteFile(dir.file("stm.hex"), hex);
    target.assign(0x1000, 0xFF);
    EXPECT_EQ(LoadDataFile(dir.file("stm.hex"), target.data(), 0x1000), 0);
    EXPECT_EQ(prompts.texts("file"),
              Strings{FormatMessage(Own::DataOutside, {"8000010", "8000011", "1000", "0"}) + " " +
                      FormatMessage(Own::TryBase, {"0x8000000"})});
    LoadRequest given;
    given.base = 0x08000000;
    EXPECT_EQ(LoadDataFile(dir.file("stm.hex"), target.data(), 0x1000, given), 0x12);
    EXPECT_EQ(target[0x10], 0x12);
    prompts.clear();
    LoadRequest ask;
    ask.baseChoice = BaseChoice::Ask;
    prompts.yesNoAnswers = {false, true};
    EXPECT_EQ(LoadDataFile(dir.file("stm.hex"), target.data(), 0x1000, ask), 0);
    uint64_t base = 0;
    EXPECT_EQ(LoadDataFile(dir.file("stm.hex"), target.data(), 0x1000, ask, &base), 0x12);
    EXPECT_EQ(base, 0x08000000u);
    EXPECT_EQ(prompts.texts("question").size(), 2u);
    EXPECT_NE(prompts.texts("question")[0].find("8000000h"), std::string::npos);
    EXPECT_TRUE(prompts.texts("file").empty());
}

TEST_F(DataFileTest, SaveToAFifoNobodyReadsDoesNotWait) {
    const std::string fifo = dir.file("pipe.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    SaveRequest request;
    request.refuseUnreadFifo = true;
    const uint8_t data[2] = {1, 2};
    EXPECT_FALSE(SaveDataFile(fifo, data, 2, request));
    EXPECT_EQ(prompts.texts("error"), Strings{FormatMessage(Own::NobodyReads, {fifo})});
}

TEST_F(DataFileTest, SaveCommandNeverReadsPastTheBuffer) {
    DataBuffer& buffer = SharedBuffer();
    prompts.fileAnswers = {dir.file("huge.bin")};
    EXPECT_TRUE(SaveDataFileCommand(buffer, 0x8000000, {}));
    EXPECT_EQ(ReadFile(dir.file("huge.bin")).size(), DataBufferSize);
}

TEST_F(DataFileTest, StandardOutputIsKnownByEveryName) {
    EXPECT_TRUE(IsStandardOutput("-"));
    EXPECT_TRUE(IsStandardOutput("/dev/stdout"));
    EXPECT_TRUE(IsStandardOutput("/dev/fd/1"));
    EXPECT_FALSE(IsStandardOutput(dir.file("none")));
    // A file stdout is redirected to is stdout, by whatever name.
    const std::string file = dir.file("out.bin");
    WriteFile(file, "");
    EXPECT_FALSE(IsStandardOutput(file));
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int fd = ::open(file.c_str(), O_WRONLY);
    ::dup2(fd, 1);
    const bool named = IsStandardOutput(file);
    ::dup2(saved, 1);
    ::close(fd);
    ::close(saved);
    EXPECT_TRUE(named);
}
