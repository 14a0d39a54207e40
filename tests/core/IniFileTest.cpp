#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using vantor::IniFile;

namespace {

class TempDir {
public:
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "vantor-ini-XXXXXX").string();
        path_ = mkdtemp(templ.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }
    // Names in the folder, to see that no temporary file is left behind.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(path_))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    fs::path path_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(IniFile, ReadsNamesWithoutCaseAndValuesWithoutSurroundingBlanks) {
    const IniFile ini = IniFile::fromText("; settings\n"
                                          "[Environment]\n"
                                          "FormTop = 12 \n"
                                          "\tFormLeft\t=\t7\n"
                                          "[ device ]\n"
                                          "Speed=\"0x3\"\n"
                                          "Quote='a'b'\n"
                                          "empty=\n"
                                          "no equals sign here\n"
                                          "; FormMax=1\n");
    EXPECT_EQ(ini.value("ENVIRONMENT", "formtop"), "12");
    EXPECT_EQ(ini.value("environment", "FORMLEFT"), "7");
    EXPECT_EQ(ini.value("DEVICE", "SPEED"), "0x3"); // one pair of quotes taken off
    EXPECT_EQ(ini.value("DEVICE", "quote"), "a'b");
    EXPECT_EQ(ini.value("DEVICE", "empty"), "");
    EXPECT_EQ(ini.value("DEVICE", "FormMax"), std::nullopt); // a comment, not a key
    EXPECT_EQ(ini.value("Environment", "FormMax"), std::nullopt);
    EXPECT_EQ(ini.value("CHIP", "INDEX1"), std::nullopt);
    EXPECT_EQ(ini.value("CHIP", "INDEX1", "dflt"), "dflt");
    EXPECT_TRUE(ini.hasSection("environment"));
    EXPECT_FALSE(ini.hasSection("CHIP"));
}

TEST(IniFile, FirstDuplicateWinsAndKeysAboveTheFirstHeaderBelongToNoSection) {
    IniFile ini = IniFile::fromText("stray=1\n"
                                    "[A]\n"
                                    "k=first\n"
                                    "K=second\n"
                                    "[a]\n"
                                    "k=third\n"
                                    "only=later\n");
    EXPECT_EQ(ini.value("A", "k"), "first");
    EXPECT_EQ(ini.value("A", "only"), std::nullopt); // later copies are text only
    EXPECT_EQ(ini.value("A", "stray"), std::nullopt);
    EXPECT_EQ(ini.value("", "stray"), "1");

    ASSERT_TRUE(ini.setValue("a", "K", "new"));
    ASSERT_TRUE(ini.setValue("A", "only", "x"));
    ASSERT_TRUE(ini.setValue("", "stray", "2"));
    EXPECT_EQ(ini.text(), "stray=2\n"
                          "[A]\n"
                          "k=new\n"
                          "K=second\n"
                          "only=x\n"
                          "[a]\n"
                          "k=third\n"
                          "only=later\n");
}

TEST(IniFile, WritesKeepEveryOtherLineByteForByte) {
    const std::string original = "; made by hand\r\n"
                                 "\r\n"
                                 "[Environment]\r\n"
                                 "  formtop =  3\r\n"
                                 "FormLeft=4\r\n"
                                 "\r\n"
                                 "; the device part\r\n"
                                 "[Other]\r\n"
                                 "x=y\r\n"
                                 "[DEVICE]\r\n"
                                 "chip=1"; // no line end at the very end
    IniFile ini = IniFile::fromText(original);
    EXPECT_EQ(ini.text(), original);

    ASSERT_TRUE(ini.setValue("ENVIRONMENT", "FormTop", "30"));   // in place, spelling kept
    ASSERT_TRUE(ini.setValue("Environment", "FormHeight", "5")); // after the last key
    ASSERT_TRUE(ini.setValue("DEVICE", "SPEED", "2"));           // after a last line w/o end
    ASSERT_TRUE(ini.setValue("CHIP", "INDEX1", "9"));            // new section at the end
    EXPECT_EQ(ini.text(), "; made by hand\r\n"
                          "\r\n"
                          "[Environment]\r\n"
                          "  formtop =  30\r\n"
                          "FormLeft=4\r\n"
                          "FormHeight=5\r\n"
                          "\r\n"
                          "; the device part\r\n"
                          "[Other]\r\n"
                          "x=y\r\n"
                          "[DEVICE]\r\n"
                          "chip=1\r\n"
                          "SPEED=2\r\n"
                          "[CHIP]\r\n"
                          "INDEX1=9\r\n");
    EXPECT_EQ(ini.value("environment", "formtop"), "30");
}

TEST(IniFile, EmptyDocumentGrowsSectionsInTheOrderWritten) {
    IniFile ini;
    ASSERT_TRUE(ini.setValue("B", "one", "1"));
    ASSERT_TRUE(ini.setValue("A", "two", "2"));
    ASSERT_TRUE(ini.setValue("B", "three", "3"));
    EXPECT_EQ(ini.text(), "[B]\none=1\nthree=3\n[A]\ntwo=2\n");
}

TEST(IniFile, ValuesAreBytesAndUnsafeNamesAreRefused) {
    IniFile ini;
    const std::string gbk = "\xD6\xD0\xCE\xC4 \x80\xFF"; // "中文" in GBK, then high bytes
    ASSERT_TRUE(ini.setValue("S", "k", gbk));
    EXPECT_EQ(IniFile::fromText(ini.text()).value("s", "K"), gbk);

    const std::string before = ini.text();
    EXPECT_FALSE(ini.setValue("S", "k", "two\nlines"));
    EXPECT_FALSE(ini.setValue("S", "k", "cr\r"));
    EXPECT_FALSE(ini.setValue("S", "a=b", "1"));
    EXPECT_FALSE(ini.setValue("S", "", "1"));
    EXPECT_FALSE(ini.setValue("S", ";k", "1"));
    EXPECT_FALSE(ini.setValue("S", " k", "1"));
    EXPECT_FALSE(ini.setValue("S]", "k", "1"));
    EXPECT_FALSE(ini.setValue("S\n", "k", "1"));
    EXPECT_EQ(ini.text(), before);
}

TEST(IniFile, ByteOrderMarkDoesNotHideTheFirstSection) {
    IniFile ini = IniFile::fromText("\xEF\xBB\xBF[Environment]\nFormMax=1\n");
    EXPECT_EQ(ini.value("Environment", "FormMax"), "1");
    ASSERT_TRUE(ini.setValue("Environment", "FormMax", "0"));
    EXPECT_EQ(ini.text(), "\xEF\xBB\xBF[Environment]\nFormMax=0\n");
}

TEST(IniFile, LoadTreatsAMissingFileAsEmptyAndAFolderAsUnreadable) {
    TempDir dir;
    IniFile ini = IniFile::fromText("[x]\na=1\n");
    EXPECT_TRUE(ini.load(dir.file("absent.ini")));
    EXPECT_EQ(ini.text(), "");

    std::string reason;
    EXPECT_FALSE(ini.load(dir.path().string(), &reason));
    EXPECT_FALSE(reason.empty());
}

TEST(IniFile, SaveReplacesTheFileAndLeavesNothingElse) {
    TempDir dir;
    const std::string path = dir.file("vantor.ini");
    WriteAll(path, "[keep]\nme=1\n");
    ::chmod(path.c_str(), 0640);

    IniFile ini;
    ASSERT_TRUE(ini.load(path));
    ini.setValue("DEVICE", "LANGU", "2");
    const IniFile::SaveResult r = ini.save(path);
    ASSERT_TRUE(r) << r.reason;
    EXPECT_EQ(r.path, path);
    EXPECT_EQ(ReadAll(path), "[keep]\nme=1\n[DEVICE]\nLANGU=2\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"vantor.ini"});
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniFile, SaveThroughALinkKeepsTheLink) {
    TempDir dir;
    const std::string real = dir.file("real.ini");
    const std::string link = dir.file("link.ini");
    WriteAll(real, "[a]\nb=1\n");
    fs::create_symlink("real.ini", link);

    IniFile ini = IniFile::fromText("[a]\nb=2\n");
    ASSERT_TRUE(ini.save(link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(real), "[a]\nb=2\n");
}

TEST(IniFile, FailedSaveReportsThePathAndLeavesTheOldFileWhole) {
    TempDir dir;
    const IniFile ini = IniFile::fromText("[a]\nb=" + std::string(4096, 'x') + "\n");

    // The target is a folder: the rename fails at the very end.
    const std::string folder = dir.file("taken.ini");
    fs::create_directory(folder);
    WriteAll(folder + "/inside", "kept");
    IniFile::SaveResult r = ini.save(folder);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, folder);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_EQ(ReadAll(folder + "/inside"), "kept");

    // A folder that does not exist: nothing can be created.
    const std::string lost = dir.file("missing/vantor.ini");
    r = ini.save(lost);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, lost);
    EXPECT_FALSE(fs::exists(lost));

    // A full disk in the middle of the write (a file size limit stands in
    // for it, since the tests run as root and permissions do not stop us).
    const std::string path = dir.file("vantor.ini");
    WriteAll(path, "[old]\nstays=1\n");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    r = ini.save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, path);
    EXPECT_EQ(ReadAll(path), "[old]\nstays=1\n");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"taken.ini", "vantor.ini"}));
}
