#pragma once
// The main window as the chip engine and the connection probe see it: status
// panels, progress bar, boxes, log pane and the lock, all on MainWindow's widgets.
// It also owns the engine, the six commands, the probe and the device-change
// monitor, so MainWindow needs one member for the lot.
#include "link/ChipCommands.h"
#include "link/ChipEngine.h"
#include "link/ConnectionProbe.h"
#include "link/EngineHost.h"

#include <QPointer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <vector>

class QAction;
class QString;

namespace vantor {

class MainWindow;
class UsbDeviceMonitor;

class MainWindowHost : public EngineHost, public ProbeHost {
public:
    explicit MainWindowHost(MainWindow& form);
    ~MainWindowHost() override;
    MainWindowHost(const MainWindowHost&) = delete;
    MainWindowHost& operator=(const MainWindowHost&) = delete;

    ChipEngine Engine;
    ChipCommands Commands;
    ConnectionProbe Probe;

    // Probes now, or once the running chip command has ended. The first call
    // also starts listening for device changes (each one probes again).
    void probeProgrammer();
    // Whether device changes reach us (false where udev is out of reach: the
    // window then probes on activation only).
    bool deviceMonitorActive() const;

    // ---- EngineHost ---------------------------------------------------------------
    void setStatusText(const std::string& text) override;
    void showProgress() override;
    void setProgressMaximum(std::uint32_t maximum) override;
    void setProgressPosition(std::uint32_t position) override;
    void hideProgress() override;
    void processEvents() override;
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void setLocked(bool locked) override;
    void refreshHexView() override;
    void syncBufferFromEditor() override;
    int speedIndex() const override;
    void logLine(const std::string& text) override;
    void beep() override;
    void setElapsedText(const std::string& text) override;
    void setStartTime(double time) override;
    void setStopTime(double time) override;
    void chipCommandEnded() override;

    // ---- ProbeHost ----------------------------------------------------------------
    bool chipCommandBusy() const override;
    std::string nextLogPrefix() override;
    int findLogLine(const std::string& line) const override;
    void insertLogLine(const std::string& line) override;
    void setConnectionStatus(const std::string& text) override;

private:
    // Menu commands that would touch the buffer or the programmer, or open a
    // dialog that stops the operation's loop, greyed out with the tool bar.
    std::vector<QAction*> guardedActions() const;
    void showTimes();

    // Progress changes smaller than 1/kProgressSteps of the range wait.
    static constexpr std::uint32_t kProgressSteps = 1000;

    MainWindow& Form;
    std::unique_ptr<UsbDeviceMonitor> Monitor;
    std::uint32_t ProgressStep = 1;
    std::chrono::steady_clock::time_point LastProgressPaint{};
    std::chrono::steady_clock::time_point ProgressStarted{};
    std::chrono::steady_clock::time_point LastTimeShown{};
    static constexpr std::chrono::milliseconds kTimeRefresh{250};
    bool Locked = false;
    std::vector<std::pair<QAction*, bool>> SavedEnabled;
    QPointer<QWidget> FocusBefore; // the focus when the window was locked
};

} // namespace vantor
