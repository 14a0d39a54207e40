#pragma once
// A front end that writes down everything the engine asks of it, and a
// fixture that wires the real transport to the emulator around it.
#include "buffer/DataBuffer.h"
#include "chipdb/ChipRecord.h"
#include "core/LogNumbering.h"
#include "core/MessageTable.h"
#include "emulator/EmulatorClient.h"
#include "link/ChipCommands.h"
#include "link/ChipEngine.h"
#include "link/ConnectionProbe.h"
#include "link/UsbTransport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vantor::test {

using Bytes = std::vector<std::uint8_t>;

class RecordingHost : public EngineHost, public ProbeHost {
public:
    // What the user would have seen, in order: "status:", "error:",
    // "question:", "log:", "elapsed:", "beep", "lock", "unlock", "refresh",
    // "sync", "progress:show", "progress:hide", "max:N". Event pumps are
    // only counted.
    std::vector<std::string> trace;
    std::vector<std::string> log; // the log pane, line 0 first
    LogNumbering numbering;
    std::vector<bool> answers; // Yes/No, front first; No when empty
    int speed = 0;
    bool locked = false;
    bool progressVisible = false;
    std::uint32_t progressMaximum = 0;
    std::uint32_t progressPosition = 0;
    long pumps = 0;
    std::string status;
    std::string elapsed = "00:00:00";
    std::function<void()> onPump;
    std::function<void()> onSync;
    std::function<void()> onCommandEnded;
    mutable std::vector<double> clock; // times of day handed out front first
    std::function<bool()> commandBusy; // what the probe is told

    void setStatusText(const std::string& text) override {
        status = text;
        trace.push_back("status:" + text);
    }
    void showProgress() override {
        progressVisible = true;
        trace.push_back("progress:show");
    }
    void setProgressMaximum(std::uint32_t maximum) override {
        progressMaximum = maximum;
        trace.push_back("max:" + std::to_string(maximum));
    }
    void setProgressPosition(std::uint32_t position) override { progressPosition = position; }
    void hideProgress() override {
        progressVisible = false;
        trace.push_back("progress:hide");
    }
    void processEvents() override {
        ++pumps;
        if (onPump) {
            onPump();
        }
    }
    void showError(const std::string& text) override { trace.push_back("error:" + text); }
    bool askYesNo(const std::string& text) override {
        trace.push_back("question:" + text);
        if (answers.empty()) {
            return false;
        }
        const bool yes = answers.front();
        answers.erase(answers.begin());
        return yes;
    }
    void setLocked(bool on) override {
        locked = on;
        trace.push_back(on ? "lock" : "unlock");
    }
    void refreshHexView() override { trace.push_back("refresh"); }
    void syncBufferFromEditor() override {
        trace.push_back("sync");
        if (onSync) {
            onSync();
        }
    }
    int speedIndex() const override { return speed; }
    void logLine(const std::string& text) override {
        const std::string line = numbering.NextLogPrefix() + text;
        log.insert(log.begin(), line);
        trace.push_back("log:" + line);
    }
    void beep() override { trace.push_back("beep"); }
    void setElapsedText(const std::string& text) override {
        elapsed = text;
        trace.push_back("elapsed:" + text);
    }
    double timeOfDay() const override {
        if (clock.empty()) {
            return EngineHost::timeOfDay();
        }
        const double t = clock.front();
        clock.erase(clock.begin());
        return t;
    }
    void chipCommandEnded() override {
        if (onCommandEnded) {
            onCommandEnded();
        }
    }

    // ProbeHost: the same log and counter as the chip commands.
    bool chipCommandBusy() const override { return commandBusy && commandBusy(); }
    std::string nextLogPrefix() override { return numbering.NextLogPrefix(); }
    int findLogLine(const std::string& line) const override {
        const auto it = std::find(log.begin(), log.end(), line);
        return it == log.end() ? -1 : int(it - log.begin());
    }
    void insertLogLine(const std::string& line) override { log.insert(log.begin(), line); }
    void setConnectionStatus(const std::string& text) override { setStatusText(text); }

    std::vector<std::string> kind(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& t : trace) {
            if (t.rfind(prefix, 0) == 0) {
                out.push_back(t.substr(prefix.size()));
            }
        }
        return out;
    }
    std::vector<std::string> errors() const { return kind("error:"); }
    int count(const std::string& entry) const {
        return int(std::count(trace.begin(), trace.end(), entry));
    }
    // Index of the first trace entry starting with `prefix`, -1 when none.
    int position(const std::string& prefix) const {
        for (std::size_t i = 0; i < trace.size(); ++i) {
            if (trace[i].rfind(prefix, 0) == 0) {
                return int(i);
            }
        }
        return -1;
    }
    int lastPosition(const std::string& prefix) const {
        for (std::size_t i = trace.size(); i-- > 0;) {
            if (trace[i].rfind(prefix, 0) == 0) {
                return int(i);
            }
        }
        return -1;
    }
    void clear() {
        trace.clear();
        pumps = 0;
    }
};

struct ChipSpec {
    int family = 0;
    std::uint32_t size = 64 * 1024;
    std::uint16_t page = 256;
    std::uint16_t delay = 100;
    std::uint8_t voltage = 0;
    std::uint8_t subType = 0;
    std::uint32_t id = 0xEF4016;
};

inline ChipRecord Record(const ChipSpec& s) {
    ChipRecord r;
    r.Family = std::uint8_t(s.family);
    r.FlashSize = s.size;
    r.FlashPage = s.page;
    r.Delay = s.delay;
    r.Voltage = s.voltage;
    r.SubType = s.subType;
    r.ChipId = s.id;
    return r;
}

// Emulator set-up for a chip like `s` behind the given product text.
inline std::string EmulatorIni(const ChipSpec& s, const std::string& product = "DudOVEDuro Device",
                               const std::string& extra = "", int busyPolls = 3) {
    char jedec[16];
    std::snprintf(jedec, sizeof jedec, "%06X", unsigned(s.id & 0xFFFFFF));
    std::string ini =
        "[bus]\nlog_limit = 1000000\n[programmer]\nproduct = " + product +
        "\n[chip]\nfamily = " + std::to_string(s.family) + "\nsize = " + std::to_string(s.size) +
        "\npage = " + std::to_string(s.page == 0 ? 1 : s.page) + "\njedec = " + jedec +
        "\nerase_busy_polls = " + std::to_string(busyPolls) + "\n";
    if (s.family == 2 && s.subType >= 80) {
        ini += "organisation = 16\n";
    }
    return ini + extra;
}

inline Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes b(n);
    for (auto& v : b) {
        v = std::uint8_t(random());
    }
    return b;
}

// The six commands, to loop over.
enum class Command { Read, Erase, Write, Verify, Auto, Blank };
inline constexpr Command kAllCommands[] = {Command::Read,   Command::Erase, Command::Write,
                                           Command::Verify, Command::Auto,  Command::Blank};
inline const char* Name(Command c) {
    static const char* const names[] = {"Read", "Erase", "Write", "Verify", "Auto", "Blank"};
    return names[int(c)];
}

class EngineFixture : public ::testing::Test {
protected:
    CommandResult run(Command c, const ChipRecord& chip, AutoOptions options = {}) {
        switch (c) {
        case Command::Read:
            return commands.Read(chip);
        case Command::Erase:
            return commands.Erase(chip);
        case Command::Write:
            return commands.Write(chip);
        case Command::Verify:
            return commands.Verify(chip);
        case Command::Auto:
            return commands.Auto(chip, options);
        case Command::Blank:
            break;
        }
        return commands.BlankCheck(chip);
    }

    void SetUp() override {
        // No set-up named and none beside the library: the built-in default.
        unsetenv("VANTOR_EMULATOR_CONFIG");
        SetCurrentLanguage(English);
        emu.useDefault();
        link.setReplyWait(std::chrono::microseconds(0));
        engine.Timings = EngineTimings{std::chrono::microseconds(0), std::chrono::microseconds(0),
                                       std::chrono::microseconds(0)};
        host.onCommandEnded = [this] { probe.chipCommandEnded(); };
        host.commandBusy = [this] { return commands.busy(); };
    }
    void TearDown() override {
        link.USB_bulk_close();
        emu.useDefault();
    }
    void configure(const std::string& ini) { ASSERT_TRUE(emu.configure(ini)) << emu.lastError(); }
    void useChip(const ChipSpec& s, const std::string& product = "DudOVEDuro Device",
                 const std::string& extra = "", int busyPolls = 3) {
        configure(EmulatorIni(s, product, extra, busyPolls));
    }
    // Puts `data` at the start of the buffer as a file load would.
    void load(const Bytes& data) {
        std::fill(buffer->data(), buffer->data() + DataBuffer::capacity(), 0xFF);
        std::copy(data.begin(), data.end(), buffer->data());
        buffer->UsedLength = std::int32_t(data.size());
    }
    Bytes bufferBytes(std::size_t n) const { return Bytes(buffer->data(), buffer->data() + n); }
    // Command blocks the host sent, by opcode, in order.
    std::vector<CommandBlock> blocks(int opcode) const {
        std::vector<CommandBlock> out;
        for (const auto& b : emu.commands()) {
            if (b[1] == opcode) {
                out.push_back(b);
            }
        }
        return out;
    }
    std::vector<std::string> completeLines() const {
        std::vector<std::string> out;
        for (const auto& line : host.log) {
            if (line.find("Complete!") != std::string::npos) {
                out.push_back(line);
            }
        }
        return out;
    }

    EmulatorClient emu;
    UsbTransport link{EmulatorClient::kDefaultPath};
    // One buffer for the whole run: a fresh 64 MiB per test would cost more
    // than most tests. Every test starts with it all 0xFF and empty.
    static DataBuffer& SharedBuffer() {
        static DataBuffer shared;
        std::fill(shared.data(), shared.data() + DataBuffer::capacity(), 0xFF);
        shared.UsedLength = 0;
        return shared;
    }
    DataBuffer* buffer = &SharedBuffer();
    RecordingHost host;
    ChipEngine engine{link, *buffer, host};
    ChipCommands commands{engine, host};
    ConnectionProbe probe{link, host};
};

} // namespace vantor::test
