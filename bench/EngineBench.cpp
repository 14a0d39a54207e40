// Chip engine figures: host time per transfer of Read, Verify and Write
// against the emulator with no simulated latency, event pumping included,
// and the whole operation's host time as a share of what USB full speed
// (about 1.2 MB/s of bulk data) takes to move the same bytes.
//
// Two hosts: a plain one that pumps Qt events (what the CLI or a test would
// do), and the main window's own host, whose progress bar and status panel
// are widgets of a real (offscreen) window.
#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "bench/BenchRegistry.h"
#include "bench/EngineOps.h"
#include "buffer/DataBuffer.h"
#include "chipdb/ChipRecord.h"
#include "emulator/EmulatorClient.h"
#include "link/ChipEngine.h"
#include "link/UsbTransport.h"

#include <QApplication>

#include <chrono>
#include <memory>
#include <random>
#include <string>

// The window's pictures live in the application library's resources.
static void InitWindowResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

using namespace vantor;
using vantor::bench::BenchContext;

constexpr double kFullSpeedBytesPerSecond = 1.2e6;
constexpr std::uint32_t kPage = 256;

// The one application object of the run (the hex pane figures, which sort
// first, may have made it already).
void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    static char name[] = "vantor_bench";
    static char* argv[] = {name, nullptr};
    static int argc = 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv); // never destroyed, like the hex pane figures' one
}

// Everything a front end does per transfer that costs nothing to look at:
// the progress position is kept, events are pumped for real.
class PumpingHost : public bench::SilentHost {
public:
    void setProgressPosition(std::uint32_t position) override { Position = position; }
    void processEvents() override { QCoreApplication::processEvents(); }
    void showError(const std::string& text) override { Errors += text + "\n"; }

    std::uint32_t Position = 0;
    std::string Errors;
};

ChipRecord FlashRecord(std::uint32_t size) {
    ChipRecord r;
    r.Family = 0;
    r.FlashSize = size;
    r.FlashPage = kPage;
    r.Delay = 100;
    r.ChipId = 0xEF4019;
    return r;
}

std::string Mib(std::uint32_t size) {
    return std::to_string(size >> 20) + "MiB";
}

using vantor::bench::Op;

// Best time of one operation between open and close, in seconds.
double TimeOperation(BenchContext& bench, ChipEngine& engine, Op op, const ChipRecord& chip) {
    return bench.bestSeconds([&] { vantor::bench::RunOperation(engine, op, chip); });
}

void Report(BenchContext& bench, const std::string& prefix, Op op, std::uint32_t size,
            double seconds) {
    const double transfers = double(size / kPage) + 2; // data chunks, address, 0xB7
    const std::string name = prefix + "_" + vantor::bench::Name(op) + "_" + Mib(size);
    bench.report(name + "_per_transfer", seconds / transfers * 1e6, "us");
    const double usbSeconds = double(size) / kFullSpeedBytesPerSecond;
    bench.report(name + "_share_of_full_speed", seconds / usbSeconds * 100.0, "%");
}

void Prepare(EmulatorClient& emu, std::uint32_t size, DataBuffer& buffer) {
    // No log, no faults, no latency: only the host's own work is timed.
    const std::string ini = "[bus]\nlog = 0\n[programmer]\nproduct = DudOVEDuro Device\n"
                            "[chip]\nfamily = 0\njedec = EF4019\npage = 256\nsize = " +
                            std::to_string(size) + "\nerase_busy_polls = 0\n";
    emu.configure(ini);
    std::vector<std::uint8_t> image(size);
    std::mt19937 random(7);
    for (auto& b : image)
        b = std::uint8_t(random());
    emu.setImage(image);
    std::copy(image.begin(), image.end(), buffer.data());
    buffer.UsedLength = std::int32_t(size);
}

} // namespace

VANTOR_BENCH(usb_engine) {
    EnsureApplication();
    EmulatorClient emu;
    UsbTransport link(EmulatorClient::kDefaultPath);
    link.setReplyWait(std::chrono::microseconds(0));
    auto buffer = std::make_unique<DataBuffer>();
    PumpingHost host;
    ChipEngine engine(link, *buffer, host);
    for (std::uint32_t size : {16u << 20, 64u << 20}) {
        Prepare(emu, size, *buffer);
        const ChipRecord chip = FlashRecord(size);
        // Writing the image that is already there leaves the chip as it is,
        // so the three can run in any order and any number of times.
        for (Op op : {Op::Read, Op::Verify, Op::Write})
            Report(bench, "engine", op, size, TimeOperation(bench, engine, op, chip));
    }
    if (!host.Errors.empty())
        bench.note("engine errors: " + host.Errors);
    emu.useDefault();
}

VANTOR_BENCH(usb_engine_window) {
    EnsureApplication();
    InitWindowResources();
    EmulatorClient emu;
    UsbTransport link(EmulatorClient::kDefaultPath);
    link.setReplyWait(std::chrono::microseconds(0));
    MainWindow form(bench.file("vantor"));
    form.show();
    QCoreApplication::processEvents();
    // The window's host: progress bar, status panel and pumping on widgets.
    ChipEngine engine(link, form.Buffer, form.ChipHost());
    for (std::uint32_t size : {16u << 20, 64u << 20}) {
        Prepare(emu, size, form.Buffer);
        const ChipRecord chip = FlashRecord(size);
        for (Op op : {Op::Read, Op::Verify, Op::Write})
            Report(bench, "engine_window", op, size, TimeOperation(bench, engine, op, chip));
    }
    emu.useDefault();
}
