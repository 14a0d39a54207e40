// Chip operations against the emulator with bench timing (the link and the
// chip take real-hardware time) in the main window:
//
//  - operation time against the wire time the emulator computed for the same
//    transfers, the fixed 50 ms reply waits and status-poll waits added
//    ("op_vs_wire", 100% = no host overhead at all; a busy machine adds the
//    time the program waited for a processor), and the CPU time the program
//    spent meanwhile as a share of the wire time ("cpu_vs_wire");
//  - the window meanwhile: lateness of a 10 ms timer (99th percentile and
//    worst); progress-bar updates per second (paints of the bar that show a
//    new value); and the time a repaint request takes to show, asked every
//    100 ms of a small probe widget in the status bar (not of the bar, whose
//    own updates would change; not of a large panel, whose painting would
//    slow what is measured).
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "app/StatusBar.h"
#include "bench/BenchRegistry.h"
#include "bench/EngineOps.h"
#include "chipdb/ChipRecord.h"
#include "emulator/EmulatorClient.h"
#include "link/ChipEngine.h"
#include "link/Protocol.h"
#include "link/UsbTransport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <time.h>

static void InitTimingBenchResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

using namespace vantor;
using vantor::bench::BenchContext;
using vantor::bench::Op;
using vantor::bench::RunOperation;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5))];
}

// Watches the window while an operation runs.
class WindowWatch : public QObject {
public:
    WindowWatch(QProgressBar* bar, QWidget* other) : Bar(bar), Other(other) {
        Tick.setTimerType(Qt::PreciseTimer);
        Tick.setInterval(10);
        connect(&Tick, &QTimer::timeout, this, [this] {
            const auto now = Clock::now();
            Lateness.push_back(std::max(0.0, Ms(now - LastTick) - 10.0));
            LastTick = now;
            if (!Requested && Lateness.size() % 10 == 0) {
                Requested = true;
                RequestedAt = now;
                Other->update();
            }
        });
        Bar->installEventFilter(this);
        Other->installEventFilter(this);
    }
    void start() {
        Lateness.clear();
        ToShow.clear();
        Updates = 0;
        Requested = false;
        Painted = Bar->value();
        LastTick = Clock::now();
        Tick.start();
    }
    void stop() { Tick.stop(); }
    bool eventFilter(QObject* target, QEvent* e) override {
        if (e->type() == QEvent::Paint && target == Other && Requested) {
            ToShow.push_back(Ms(Clock::now() - RequestedAt));
            Requested = false;
        } else if (e->type() == QEvent::Paint && target == Bar) {
            Updates += Bar->value() != Painted ? 1 : 0;
            Painted = Bar->value();
        }
        return false;
    }

    std::vector<double> Lateness;
    std::vector<double> ToShow;
    long Updates = 0;

private:
    QProgressBar* Bar;
    QWidget* Other;
    QTimer Tick;
    Clock::time_point LastTick;
    Clock::time_point RequestedAt;
    bool Requested = false;
    int Painted = 0;
};

} // namespace

VANTOR_BENCH(usb_bench_timing) {
    if (QCoreApplication::instance() == nullptr) {
        static char name[] = "vantor_bench";
        static char* argv[] = {name, nullptr};
        static int argc = 1;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
    }
    InitTimingBenchResources();
    EmulatorClient emu;
    UsbTransport link(EmulatorClient::kDefaultPath); // the real 50 ms reply wait
    MainWindow form(bench.file("vantor-timing"));
    form.show();
    QCoreApplication::processEvents();
    ChipEngine engine(link, form.Buffer, form.ChipHost());
    QWidget probe(form.StatusBar1); // opaque, in a corner away from the bar
    probe.setGeometry(0, 0, 8, 8);
    probe.setAutoFillBackground(true);
    probe.show();
    WindowWatch watch(form.Progress, &probe);

    for (std::uint32_t size : {4u << 20, 16u << 20}) {
        emu.configure("[bus]\ntiming = usb-full-speed\n[programmer]\nproduct = DudOVEDuro "
                      "Device\n[chip]\nfamily = 0\njedec = EF4019\npage = 256\nsize = " +
                      std::to_string(size) + "\nerase_busy_polls = 0\n");
        std::vector<std::uint8_t> image(size);
        std::mt19937 random(7);
        for (auto& b : image)
            b = std::uint8_t(random());
        emu.setImage(image);
        std::copy(image.begin(), image.end(), form.Buffer.data());
        form.Buffer.UsedLength = std::int32_t(size);
        ChipRecord chip;
        chip.Family = 0;
        chip.FlashSize = size;
        chip.FlashPage = 256;
        chip.Delay = 1000; // polls of 100 ms: more than the erase takes
        chip.ChipId = 0xEF4019;

        std::vector<Op> ops = {Op::Read, Op::Verify, Op::Write};
        if (size == 4u << 20)
            ops.push_back(Op::Erase); // 10 s; the 16 MiB chip would take 40 s
        for (Op op : ops) {
            emu.resetLog();
            const auto wireBefore = emu.wireTime();
            watch.start();
            const auto start = Clock::now();
            const double cpuStart = ThreadCpuSeconds();
            RunOperation(engine, op, chip);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            const double cpu = ThreadCpuSeconds() - cpuStart;
            watch.stop();

            // Each reply came after the transport's fixed wait; each status
            // poll after the engine's own.
            long polls = 0;
            for (const auto& b : emu.commands())
                polls += b[block::kOpcode] == CMD_READ_STATUS ? 1 : 0;
            const long replies = long(emu.events(VANTOR_EMU_REPLY).size());
            const double wire =
                std::chrono::duration<double>(emu.wireTime() - wireBefore).count() +
                0.050 * double(replies) +
                std::chrono::duration<double>(engine.Timings.statusPollWait).count() *
                    double(polls);
            const std::string name = std::string("bench_timing_") + vantor::bench::Name(op) + "_" +
                                     std::to_string(size >> 20) + "MiB";
            bench.report(name + "_seconds", seconds, "s");
            bench.report(name + "_wire_seconds", wire, "s");
            bench.report(name + "_op_vs_wire", seconds / wire * 100.0, "%");
            bench.report(name + "_cpu_vs_wire", cpu / wire * 100.0, "%");
            bench.report(name + "_timer_late_p99", Percentile(watch.Lateness, 0.99), "ms");
            bench.report(name + "_timer_late_max", Percentile(watch.Lateness, 1.0), "ms");
            bench.report(name + "_progress_updates_per_s", double(watch.Updates) / seconds, "1/s");
            bench.report(name + "_repaint_to_show_p50", Percentile(watch.ToShow, 0.5), "ms");
            bench.report(name + "_repaint_to_show_p99", Percentile(watch.ToShow, 0.99), "ms");
        }
    }
    emu.useDefault();
}
