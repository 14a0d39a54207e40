#include "link/ConnectionProbe.h"

#include "core/MessageTable.h"
#include "emulator/EmulatorClient.h"
#include "link/UsbDeviceMonitor.h"
#include "link/UsbTransport.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>

using namespace vantor;

namespace {

// The main window as the probe sees it.
class RecordingHost : public ProbeHost {
public:
    bool busy = false;
    int counter = 1;
    std::vector<std::string> log; // line 0 first
    std::vector<std::string> statusTexts;

    bool chipCommandBusy() const override { return busy; }
    std::string nextLogPrefix() override {
        char text[16];
        std::snprintf(text, sizeof text, "%03d:", counter++);
        return text;
    }
    int findLogLine(const std::string& line) const override {
        const auto it = std::find(log.begin(), log.end(), line);
        return it == log.end() ? -1 : int(it - log.begin());
    }
    void insertLogLine(const std::string& line) override { log.insert(log.begin(), line); }
    void setConnectionStatus(const std::string& text) override { statusTexts.push_back(text); }
    std::string status() const { return statusTexts.empty() ? "" : statusTexts.back(); }
};

class Probe : public ::testing::Test {
protected:
    void SetUp() override {
        // No set-up named and none beside the library: the built-in default.
        unsetenv("VANTOR_EMULATOR_CONFIG");
        emu.useDefault();
        SetCurrentLanguage(English);
    }
    void TearDown() override {
        link.USB_bulk_close();
        emu.useDefault();
    }

    EmulatorClient emu;
    UsbTransport link{EmulatorClient::kDefaultPath};
    RecordingHost host;
    ConnectionProbe probe{link, host};
};

} // namespace

TEST_F(Probe, AttachedProgrammerIsLoggedAndReady) {
    EXPECT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::Ready);
    EXPECT_EQ(host.log, (std::vector<std::string>{
                            "001:The programmer is detected, and the working state is normal."}));
    EXPECT_EQ(host.status(), "Ready");
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(emu.openHandles(), 0);
    EXPECT_TRUE(emu.commands().empty()); // a probe sends no command block
}

TEST_F(Probe, UnplugAndReplug) {
    probe.ProbeProgrammer();
    emu.unplug();
    EXPECT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::NotConnected);
    EXPECT_EQ(host.status(), "Not connected");
    EXPECT_EQ(host.log.size(), 1u);
    EXPECT_TRUE(StatusPanelDrawnRed(host.status()));
    emu.plug();
    EXPECT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::Ready);
    EXPECT_EQ(host.status(), "Ready");
    ASSERT_EQ(host.log.size(), 2u);
    EXPECT_EQ(host.log[0].substr(0, 4), "002:");
}

TEST_F(Probe, RepeatedActivationsLogOnlyWhatIsNew) {
    for (int i = 0; i < 5; ++i)
        probe.ProbeProgrammer();
    EXPECT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.counter, 2); // no prefix taken for a line not written
    host.log.insert(host.log.begin(), "002:Read Complete!");
    host.counter = 3;
    probe.ProbeProgrammer();
    probe.ProbeProgrammer();
    ASSERT_EQ(host.log.size(), 3u);
    EXPECT_EQ(host.log[0], "003:" + Message(11));
    SetCurrentLanguage(SimplifiedChinese); // still the same news in another language
    probe.ProbeProgrammer();
    SetCurrentLanguage(English);
    EXPECT_EQ(host.log.size(), 3u);
}

TEST_F(Probe, LineEqualToLineZeroIsNotInsertedAgain) {
    const std::string line = "001:" + Message(11);
    host.log = {line};
    probe.ProbeProgrammer();
    EXPECT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.counter, 2); // the prefix was taken all the same
    // An equal line further down does not stop the insert.
    host.log = {"other", "002:" + Message(11)};
    host.counter = 2;
    probe.ProbeProgrammer();
    EXPECT_EQ(host.log.size(), 3u);
    EXPECT_EQ(host.log[0], "002:" + Message(11));
}

TEST_F(Probe, ProbeDuringAChipCommandWaitsForItsEnd) {
    ASSERT_EQ(link.prog_open(kProgrammerVendorId, kProgrammerProductId), 1);
    host.busy = true;
    emu.resetLog();
    emu.unplug(); // the programmer goes while the command runs
    EXPECT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::Deferred);
    EXPECT_TRUE(probe.probePending());
    EXPECT_TRUE(link.isOpen());
    EXPECT_TRUE(emu.events().empty()); // the transport was not touched
    EXPECT_TRUE(host.statusTexts.empty());

    link.USB_bulk_close();
    host.busy = false;
    probe.chipCommandEnded();
    EXPECT_FALSE(probe.probePending());
    EXPECT_EQ(host.status(), "Not connected");
    probe.chipCommandEnded(); // nothing pending: nothing happens
    EXPECT_EQ(host.statusTexts.size(), 1u);
}

TEST_F(Probe, OpenTransportCountsAsBusy) {
    ASSERT_EQ(link.prog_open(kProgrammerVendorId, kProgrammerProductId), 1);
    EXPECT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::Deferred);
    EXPECT_EQ(emu.openHandles(), 1);
}

TEST_F(Probe, NoLibraryReadsAsNotConnected) {
    UsbTransport missing{"/nonexistent/libusb-0.1.so.4"};
    ConnectionProbe lonely{missing, host};
    EXPECT_EQ(lonely.ProbeProgrammer(), ConnectionProbe::Outcome::NotConnected);
    EXPECT_TRUE(host.log.empty());
}

TEST_F(Probe, MessagesFollowTheCurrentLanguage) {
    SetCurrentLanguage(SimplifiedChinese);
    probe.ProbeProgrammer();
    EXPECT_EQ(host.status(), Message(12, SimplifiedChinese));
    EXPECT_EQ(host.log[0], "001:" + Message(11, SimplifiedChinese));
    emu.unplug();
    probe.ProbeProgrammer();
    EXPECT_EQ(host.status(), Message(13, SimplifiedChinese));
}

TEST(StatusPanelColour, RedOnlyForNotConnectedInTheCurrentLanguage) {
    SetCurrentLanguage(English);
    EXPECT_TRUE(StatusPanelDrawnRed("Not connected"));
    EXPECT_FALSE(StatusPanelDrawnRed("Ready"));
    EXPECT_FALSE(StatusPanelDrawnRed(Message(14)));      // an operation's name
    EXPECT_FALSE(StatusPanelDrawnRed("Not connected ")); // exact comparison
    // A text of the former language stays until the next probe, drawn normally.
    const std::string chinese = Message(13, SimplifiedChinese);
    EXPECT_FALSE(StatusPanelDrawnRed(chinese));
    SetCurrentLanguage(SimplifiedChinese);
    EXPECT_TRUE(StatusPanelDrawnRed(chinese));
    EXPECT_FALSE(StatusPanelDrawnRed("Not connected"));
    SetCurrentLanguage(English);
}

TEST(UsbDeviceMonitor, StartsWhereUdevIsReachableAndStopsCleanly) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    int calls = 0;
    {
        UsbDeviceMonitor monitor([&] { ++calls; });
        const bool started = monitor.start();
        EXPECT_EQ(monitor.isActive(), started);
        EXPECT_EQ(monitor.start(), started); // a second start changes nothing
        QCoreApplication::processEvents();
    }
    EXPECT_GE(calls, 0);
}

TEST_F(Probe, ARefusedProgrammerIsLoggedOnceAndAgainWhenTheCauseChanges) {
    ASSERT_TRUE(emu.configure("[programmer]\nopen_fails = EACCES\n")) << emu.lastError();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(probe.ProbeProgrammer(), ConnectionProbe::Outcome::NotConnected);
    }
    // The status panel names the refusal, not "Not connected".
    EXPECT_EQ(host.status(), "Permission denied (udev rule 70-vantor.rules)");
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0].rfind("001:Programmer 001:002 is present", 0), 0u) << host.log[0];
    EXPECT_NE(host.log[0].find("70-vantor.rules"), std::string::npos);

    ASSERT_TRUE(emu.configure("[programmer]\nclaim_fails = EBUSY\n")) << emu.lastError();
    probe.ProbeProgrammer();
    probe.ProbeProgrammer();
    ASSERT_EQ(host.log.size(), 2u);
    EXPECT_NE(host.log[0].find("another program holds it"), std::string::npos) << host.log[0];
    EXPECT_EQ(host.status(), "Busy: another program holds it");
}
