#include "app/MainWindowHost.h"

#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "link/UsbDeviceMonitor.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QProgressBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolBar>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace vantor {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

int ProgressValue(std::uint32_t value) {
    return value > std::uint32_t(INT_MAX) ? INT_MAX : int(value);
}

// "0:07", "12:40", "1:02:03".
std::string DurationText(double seconds) {
    const long long s = seconds < 0 ? 0 : (long long)(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

} // namespace

MainWindowHost::MainWindowHost(MainWindow& form)
    : Engine(form.UsbLink, form.Buffer, *this), Commands(Engine, *this), Probe(form.UsbLink, *this),
      Form(form) {
    Commands.setDatabase(&form.Chips);
}

MainWindowHost::~MainWindowHost() = default;

void MainWindowHost::probeProgrammer() {
    if (!Monitor) {
        Monitor = std::make_unique<UsbDeviceMonitor>([this] { probeProgrammer(); });
        Monitor->start();
    }
    Probe.ProbeProgrammer();
}

bool MainWindowHost::deviceMonitorActive() const {
    return Monitor && Monitor->isActive();
}

// ---- EngineHost -------------------------------------------------------------------

void MainWindowHost::setStatusText(const std::string& text) {
    Form.StatusBar1->setPanelText(1, Text(text));
}

void MainWindowHost::showProgress() {
    Form.Progress->show();
    ProgressStarted = std::chrono::steady_clock::now();
    LastTimeShown = {};
}

void MainWindowHost::setProgressMaximum(std::uint32_t maximum) {
    Form.Progress->setMaximum(ProgressValue(maximum));
    ProgressStep = std::max<std::uint32_t>(1, maximum / kProgressSteps);
}

void MainWindowHost::setProgressPosition(std::uint32_t position) {
    // The bar is told when it moves by a visible step, not after every one of
    // a quarter of a million chunks: each change costs a signal, an
    // accessibility notice and a text of its own.
    const int value = ProgressValue(position);
    const int shown = Form.Progress->value();
    if (position == 0 || value < shown || std::uint32_t(value - shown) >= ProgressStep) {
        Form.Progress->setValue(value);
        // QProgressBar repaints itself only when its fill grows by a whole
        // style chunk (about 40 steps across), so a long operation would look
        // stuck between them; a paint every 50 ms keeps it moving without
        // costing the transfers their time.
        const auto now = std::chrono::steady_clock::now();
        if (now - LastProgressPaint >= std::chrono::milliseconds(50)) {
            LastProgressPaint = now;
            Form.Progress->update();
        }
    }
    showTimes();
}

// Elapsed and remaining time across the bar, a few times a second. The
// remaining time assumes the rest goes at the pace so far.
void MainWindowHost::showTimes() {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    if (Form.RefusalShown() || now - LastTimeShown < kTimeRefresh)
        return;
    LastTimeShown = now;
    const double elapsed = duration<double>(now - ProgressStarted).count();
    const int value = Form.Progress->value();
    const int maximum = Form.Progress->maximum();
    std::string text;
    if (value > 0 && maximum > value && elapsed >= 1.0) {
        const double left = elapsed * double(maximum - value) / double(value);
        text = FormatMessage(Own::TimeElapsedLeft, {DurationText(elapsed), DurationText(left)});
    } else {
        text = FormatMessage(Own::TimeElapsed, {DurationText(elapsed)});
    }
    Form.Progress->setFormat(Text(text));
    Form.Progress->setTextVisible(true);
}

void MainWindowHost::hideProgress() {
    Form.Progress->hide();
    if (!Form.RefusalShown()) {
        Form.Progress->setTextVisible(false);
        Form.Progress->resetFormat();
    }
}

void MainWindowHost::processEvents() {
    QCoreApplication::processEvents();
}

void MainWindowHost::showError(const std::string& text) {
    Form.ShowError(Text(text));
}

bool MainWindowHost::askYesNo(const std::string& text) {
    return CurrentPrompts().askYesNo(text);
}

std::vector<QAction*> MainWindowHost::guardedActions() const {
    // About too: its box would wait over an operation that holds the programmer.
    std::vector<QAction*> actions{Form.O2, Form.S1, Form.Fill, Form.A1, Form.E1, Form.W1,
                                  Form.R1, Form.V1, Form.N7,   Form.N3, Form.N5};
    // Items added later (app/OperatorMenu) ask for it by a property.
    for (QAction* action : Form.findChildren<QAction*>()) {
        if (action->property("lockedWhileBusy").toBool()) {
            actions.push_back(action);
        }
    }
    return actions;
}

void MainWindowHost::setLocked(bool locked) {
    if (locked == Locked) {
        return;
    }
    Locked = locked;
    // Disabling the panels takes the keyboard focus away; it comes back to
    // where it was (the hex pane, mostly) when the command ends.
    if (locked)
        FocusBefore = Form.focusWidget();
    Form.ToolBar1->setEnabled(!locked);
    Form.Panel1->setEnabled(!locked);
    if (!locked && FocusBefore)
        FocusBefore->setFocus(Qt::OtherFocusReason);
    // The menu bar stays usable (language, About), but nothing in it may
    // start a second command or change the buffer under the running one.
    if (locked) {
        SavedEnabled.clear();
        for (QAction* action : guardedActions()) {
            if (action != nullptr) {
                SavedEnabled.emplace_back(action, action->isEnabled());
                action->setEnabled(false);
            }
        }
    } else {
        for (const auto& [action, enabled] : SavedEnabled) {
            action->setEnabled(enabled);
        }
        SavedEnabled.clear();
    }
}

void MainWindowHost::refreshHexView() {
    Form.RefreshHexView();
}

void MainWindowHost::syncBufferFromEditor() {
    Form.SyncBufferFromEditor();
}

int MainWindowHost::speedIndex() const {
    // A speed box left empty by a broken settings file sends the box's
    // default, never an index the programmer does not know.
    const int index = Form.ComboBox4->currentIndex();
    return index < 0 ? 0 : index;
}

void MainWindowHost::logLine(const std::string& text) {
    Form.LogLine(Text(text));
}

void MainWindowHost::beep() {
    QApplication::beep();
}

void MainWindowHost::setElapsedText(const std::string& text) {
    Form.StatusBar1->setPanelText(3, Text(text));
}

void MainWindowHost::setStartTime(double time) {
    Form.StartTime = time;
}

void MainWindowHost::setStopTime(double time) {
    Form.StopTime = time;
}

void MainWindowHost::chipCommandEnded() {
    // However the command ended (a failed check leaves the bar where the
    // pass stopped), the bar goes, and the checksum under it shows again.
    hideProgress();
    Form.Progress->setValue(0);
    Probe.chipCommandEnded();
}

// ---- ProbeHost ----------------------------------------------------------------------

bool MainWindowHost::chipCommandBusy() const {
    return Commands.busy();
}

std::string MainWindowHost::nextLogPrefix() {
    return Form.NextLogPrefix();
}

int MainWindowHost::findLogLine(const std::string& line) const {
    const QStringList lines = Form.logLines();
    return int(lines.indexOf(Text(line)));
}

void MainWindowHost::insertLogLine(const std::string& line) {
    QTextDocument* log = Form.RichEdit1->document();
    QTextCursor cursor(log);
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(log->isEmpty() ? Text(line) : Text(line) + "\n");
}

void MainWindowHost::setConnectionStatus(const std::string& text) {
    setStatusText(text);
}

} // namespace vantor
