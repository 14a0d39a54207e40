#include "core/SettingsFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using vantor::SettingsFile;
using vantor::SettingsTarget;

namespace {

// Records every call of a load as a line, and answers a save from fields.
class FakeWindow : public SettingsTarget {
public:
    std::vector<std::string> calls;
    Geometry geo{10, 10, 500, 700};
    bool maximized = false;
    ChipIndices chip;
    int speed = 0;
    int language = 0;

    void setMaximized(bool m) override {
        note("max", m);
        maximized = m;
    }
    void setTop(int v) override {
        note("top", v);
        geo.top = v;
    }
    void setLeft(int v) override {
        note("left", v);
        geo.left = v;
    }
    void setHeight(int v) override {
        note("height", v);
        geo.height = v;
    }
    void setWidth(int v) override {
        note("width", v);
        geo.width = v;
    }
    void setChipIndices(int t, int m, int n) override {
        calls.push_back("chip " + std::to_string(t) + "," + std::to_string(m) + "," +
                        std::to_string(n));
        chip = {t, m, n};
    }
    void showDeviceCommand() override { calls.push_back("device"); }
    void setSpeedIndex(int v) override {
        note("speed", v);
        speed = v;
    }
    void setLanguageIndex(int v) override {
        note("langu", v);
        language = v;
    }

    Geometry geometry() const override { return geo; }
    bool isMaximized() const override { return maximized; }
    ChipIndices chipIndices() const override { return chip; }
    int speedIndex() const override { return speed; }
    int languageIndex() const override { return language; }
    std::string folder;
    void setLastFolder(const std::string& f) override { folder = f; }
    std::string lastFolder() const override { return folder; }

private:
    void note(const char* what, int v) {
        calls.push_back(std::string(what) + " " + std::to_string(v));
    }
};

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "vantor-settings-XXXXXX").string();
        dir_ = mkdtemp(templ.data());
        path_ = (dir_ / "vantor.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    FakeWindow loadFrom(const std::string& text) {
        write(text);
        FakeWindow w;
        SettingsFile(path_).load(w);
        return w;
    }

    fs::path dir_;
    std::string path_;
};

using Calls = std::vector<std::string>;

} // namespace

TEST(SettingsInteger, DecimalOrHexAfter0xAndNothingElse) {
    using vantor::ParseSettingsInteger;
    EXPECT_EQ(ParseSettingsInteger("0"), 0);
    EXPECT_EQ(ParseSettingsInteger("700"), 700);
    EXPECT_EQ(ParseSettingsInteger("007"), 7);
    EXPECT_EQ(ParseSettingsInteger("-1"), -1); // what an unselected speed box writes
    EXPECT_EQ(ParseSettingsInteger("+5"), 5);
    EXPECT_EQ(ParseSettingsInteger("0x3"), 3);
    EXPECT_EQ(ParseSettingsInteger("0X1f"), 31);
    EXPECT_EQ(ParseSettingsInteger("0x7FFFFFFF"), INT_MAX);
    EXPECT_EQ(ParseSettingsInteger("-2147483648"), INT_MIN);
    for (const char* bad : {"", "0x", "0X", "x3", "$3", "0x-3", "0x+3", "0xG", "3h", "12abc", " 5",
                            "--1", "-", "1.5", "2147483648", "0x80000000"})
        EXPECT_EQ(ParseSettingsInteger(bad), std::nullopt) << '"' << bad << '"';
}

TEST(SettingsPath, ExecutablePathWithItsExtensionReplaced) {
    EXPECT_EQ(vantor::SettingsPathFor("/opt/vantor/vantor"), "/opt/vantor/vantor.ini");
    EXPECT_EQ(vantor::SettingsPathFor("/opt/vantor/vantor.bin"), "/opt/vantor/vantor.ini");
    EXPECT_EQ(vantor::SettingsPathFor("/opt/v1.2/vantor"), "/opt/v1.2/vantor.ini");
    const std::string own = vantor::DefaultSettingsPath();
    EXPECT_TRUE(own.ends_with("/test_settings.ini")) << own;
    EXPECT_EQ(SettingsFile().path(), own);
}

TEST_F(SettingsFileTest, NoFileGivesDefaultsAndTheFirstCloseWritesExactlyOurKeys) {
    FakeWindow w;
    SettingsFile settings(path_);
    settings.load(w);
    EXPECT_EQ(w.calls, (Calls{"max 0", "top 10", "left 10", "height 500", "width 700", "chip 0,0,0",
                              "speed 0", "langu 0"}));
    EXPECT_FALSE(fs::exists(path_));

    w.geo = {30, 40, 520, 710};
    w.chip = {1, 2, 3};
    w.speed = 4;
    w.language = 2;
    ASSERT_TRUE(settings.save(w));
    EXPECT_EQ(read(), "[Environment]\n"
                      "FormHeight=520\n"
                      "FormWidth=710\n"
                      "FormTop=30\n"
                      "FormLeft=40\n"
                      "FormMax=0\n"
                      "[CHIP]\n"
                      "INDEX1=1\n"
                      "INDEX2=2\n"
                      "INDEX3=3\n"
                      "[DEVICE]\n"
                      "SPEED=4\n"
                      "LANGU=2\n");
}

TEST_F(SettingsFileTest, TheFolderLastUsedIsOurOwnKeyAfterTheSpecifiedOnes) {
    write("[Environment]\nFormHeight=520\nFormWidth=710\nFormTop=30\nFormLeft=40\nFormMax=0\n");
    FakeWindow w;
    SettingsFile settings(path_);
    settings.load(w);
    EXPECT_EQ(w.folder, "");
    ASSERT_TRUE(settings.save(w));
    EXPECT_EQ(read().find("LastFolder"), std::string::npos) << "no folder, no key";
    w.folder = "/home/me/dumps = old";
    ASSERT_TRUE(settings.save(w));
    EXPECT_EQ(read().substr(0, read().find("[CHIP]")),
              "[Environment]\nFormHeight=520\nFormWidth=710\nFormTop=30\nFormLeft=40\n"
              "FormMax=0\nLastFolder=/home/me/dumps = old\n");
    FakeWindow again;
    settings.load(again);
    EXPECT_EQ(again.folder, "/home/me/dumps = old");
}

TEST_F(SettingsFileTest, OnlyFormMaxOpensMaximisedWithEverythingElseDefault) {
    const FakeWindow w = loadFrom("[Environment]\nFormMax=1\n");
    EXPECT_EQ(w.calls, (Calls{"max 1", "chip 0,0,0", "speed 0", "langu 0"}));
}

TEST_F(SettingsFileTest, ValuesFollowTheIntegerRule) {
    FakeWindow w = loadFrom("[environment]\n"
                            "formmax=0x0\n"
                            "FORMTOP=0x20\n"
                            "FormLeft=left\n"
                            "FormHeight=\n"
                            "FormWidth=-5\n"
                            "[Chip]\nindex1=2\nIndex2=0x\nINDEX3= 7 \n"
                            "[device]\nspeed=0x3\nLangu=2\n");
    EXPECT_EQ(w.calls, (Calls{"max 0", "top 32", "left 10", "height 500", "width -5", "chip 2,0,7",
                              "speed 3", "langu 2"}));
}

TEST_F(SettingsFileTest, OutOfRangeSpeedIsPassedOnButALanguageIsNot) {
    // The speed box shows no selection for 9 and writes -1 back; a language
    // outside the three reads as the default so the whole window agrees.
    FakeWindow w = loadFrom("[DEVICE]\nSPEED=9\nLANGU=7\n");
    EXPECT_EQ(w.calls.back(), "langu 0");
    EXPECT_EQ(w.speed, 9);
    for (const char* text : {"-1", "3", "0x2a", "zh"})
        EXPECT_EQ(loadFrom(std::string("[DEVICE]\nLANGU=") + text + "\n").language, 0) << text;
}

TEST_F(SettingsFileTest, ChipKeyShowsTheDeviceCommandAndOutlivesASave) {
    EXPECT_EQ(loadFrom("[DEVICE]\nchip=0\n").calls,
              (Calls{"max 0", "top 10", "left 10", "height 500", "width 700", "chip 0,0,0",
                     "speed 0", "langu 0"}));
    EXPECT_EQ(loadFrom("[DEVICE]\nchip=x\n").calls.size(), 8u);

    FakeWindow w = loadFrom("[DEVICE]\nCHIP=0x1\n");
    EXPECT_EQ(w.calls[6], "device");
    ASSERT_TRUE(SettingsFile(path_).save(w));
    EXPECT_EQ(read(), "[DEVICE]\nCHIP=0x1\nSPEED=0\nLANGU=0\n"
                      "[Environment]\nFormHeight=500\nFormWidth=700\nFormTop=10\nFormLeft=10\n"
                      "FormMax=0\n[CHIP]\nINDEX1=0\nINDEX2=0\nINDEX3=0\n");
    FakeWindow again;
    SettingsFile(path_).load(again);
    EXPECT_EQ(again.calls[6], "device");
}

TEST_F(SettingsFileTest, ClosingMaximisedStoresTheMaximisedBoundsAndReopensMaximised) {
    FakeWindow w;
    w.maximized = true;
    w.geo = {0, 0, 1050, 1920};
    ASSERT_TRUE(SettingsFile(path_).save(w));
    FakeWindow next;
    SettingsFile(path_).load(next);
    EXPECT_EQ(next.calls.front(), "max 1");
    EXPECT_EQ(next.calls[1], "chip 0,0,0"); // stored bounds are not applied
    EXPECT_NE(read().find("FormHeight=1050\nFormWidth=1920\nFormTop=0\nFormLeft=0\nFormMax=1\n"),
              std::string::npos);
}

TEST_F(SettingsFileTest, SaveKeepsForeignContentAndSeesEditsMadeWhileRunning) {
    FakeWindow w = loadFrom("; my notes\r\n"
                            "[Plugins]\r\n"
                            "path=/usr/lib/x\r\n"
                            "\r\n"
                            "[device]\r\n"
                            "Speed=1\r\n"
                            "Extra=keep\r\n");
    // Someone edits the file while the program runs; the save builds on the
    // file as it is at close, not as it was at start.
    std::ofstream(path_, std::ios::binary | std::ios::app) << "[Late]\r\nadded=1\r\n";
    w.speed = -1;
    ASSERT_TRUE(SettingsFile(path_).save(w));
    EXPECT_EQ(read(),
              "; my notes\r\n"
              "[Plugins]\r\n"
              "path=/usr/lib/x\r\n"
              "\r\n"
              "[device]\r\n"
              "Speed=-1\r\n"
              "Extra=keep\r\n"
              "LANGU=0\r\n"
              "[Late]\r\n"
              "added=1\r\n"
              "[Environment]\r\n"
              "FormHeight=500\r\nFormWidth=700\r\nFormTop=10\r\nFormLeft=10\r\nFormMax=0\r\n"
              "[CHIP]\r\n"
              "INDEX1=0\r\nINDEX2=0\r\nINDEX3=0\r\n");
    FakeWindow again;
    SettingsFile(path_).load(again);
    EXPECT_EQ(again.speed, -1);
}

TEST_F(SettingsFileTest, FailedSaveNamesThePathAndKeepsTheOldFile) {
    FakeWindow w;
    // The settings path is taken by a folder: it cannot be read or replaced.
    fs::create_directory(path_);
    SettingsFile blocked(path_);
    blocked.load(w); // reads as defaults
    EXPECT_EQ(w.calls.size(), 8u);
    auto r = blocked.save(w);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, path_);
    EXPECT_TRUE(fs::is_directory(path_));
    EXPECT_EQ(vantor::UnableToWriteText(r.path), "Unable to write to " + path_);

    const std::string lost = (dir_ / "gone" / "vantor.ini").string();
    r = SettingsFile(lost).save(w);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, lost);
}
