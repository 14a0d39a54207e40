// Bench-tool figures: CRC-32 of 64 MiB beside zlib's crc32, find in a 64 MiB
// pane beside memmem, and the time from a stop request to the programmer's
// close (with the emulator's bench timing when it has one).
#include "bench/BenchRegistry.h"
#include "bench/EngineOps.h"
#include "buffer/Checksum.h"
#include "buffer/DataBuffer.h"
#include "chipdb/ChipRecord.h"
#include "controls/HexFind.h"
#include "emulator/EmulatorClient.h"
#include "link/ChipCommands.h"
#include "link/ChipEngine.h"
#include "link/UsbTransport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <string.h>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

using namespace vantor;
using vantor::bench::BenchContext;
using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> RandomImage(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    std::mt19937_64 random(5);
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t v = random();
        std::memcpy(&data[i], &v, 8);
    }
    return data;
}

// Asks to stop at a set transfer and notes when; notes when the controls
// unlock, which the engine does as it closes the programmer.
class StopTimingHost : public bench::SilentHost {
public:
    void processEvents() override {
        if (++Pumps == StopAt) {
            Asked = Clock::now();
            requestStop();
        }
    }
    void setLocked(bool locked) override {
        if (!locked) {
            Closed = Clock::now();
        }
    }

    long Pumps = 0;
    long StopAt = 0;
    Clock::time_point Asked, Closed;
};

} // namespace

VANTOR_BENCH(operator_crc32) {
    const auto data = RandomImage(64u << 20);
    volatile std::uint32_t sink = 0;
    const double zlibSeconds = bench.bestSeconds(
        [&] { sink = std::uint32_t(crc32_z(crc32_z(0, Z_NULL, 0), data.data(), data.size())); });
    const double crcSeconds = bench.bestSeconds([&] { sink = Crc32(data.data(), data.size()); });
    const double oursSeconds =
        bench.bestSeconds([&] { sink = ComputeChecksums(data.data(), data.size()).crc32; });
    bench.report("crc32_64MiB_zlib", zlibSeconds * 1e3, "ms");
    bench.report("crc32_vs_zlib_crc32", crcSeconds / zlibSeconds, "x");
    bench.report("crc32_and_sum_64MiB", oursSeconds * 1e3, "ms");
    bench.report("crc32_and_sum_vs_zlib_crc32", oursSeconds / zlibSeconds, "x");
}

VANTOR_BENCH(operator_find) {
    auto data = RandomImage(64u << 20);
    // Absent, made sure of; its first byte occurs every 256 bytes or so, so
    // both scans compare at each of those places.
    const std::vector<std::uint8_t> pattern = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23, 0x45, 0x67};
    while (::memmem(data.data(), data.size(), pattern.data(), pattern.size()) != nullptr) {
        data[0] ^= 0xFF; // vanishingly rare; keeps the figure honest
    }
    const std::span<const std::uint8_t> d(data);
    volatile bool sink = false;
    const double memmemSeconds = bench.bestSeconds([&] {
        sink = ::memmem(data.data(), data.size(), pattern.data(), pattern.size()) != nullptr;
    });
    const double forwardSeconds =
        bench.bestSeconds([&] { sink = hex::FindPattern(d, pattern, 0, true).has_value(); });
    const double backwardSeconds = bench.bestSeconds(
        [&] { sink = hex::FindPattern(d, pattern, data.size(), false).has_value(); });
    bench.report("find_absent_64MiB_memmem", memmemSeconds * 1e3, "ms");
    bench.report("find_absent_64MiB_forward_vs_memmem", forwardSeconds / memmemSeconds, "x");
    bench.report("find_absent_64MiB_backward_vs_memmem", backwardSeconds / memmemSeconds, "x");
}

VANTOR_BENCH(operator_stop) {
    EmulatorClient emu;
    const std::uint32_t size = 4u << 20;
    const std::string chipSection =
        "[chip]\nfamily = 0\njedec = EF4016\npage = 256\nsize = " + std::to_string(size) + "\n";
    const std::string base = "[bus]\nlog = 0\n[programmer]\nproduct = DudOVEDuro Device\n";
    // The emulator's bench timing where it has one; instant otherwise.
    bool timed = emu.configure(base + "timing = usb-full-speed\n" + chipSection);
    if (!timed) {
        timed = emu.configure("[bus]\nlog = 0\ntiming = usb-full-speed\n[programmer]\n"
                              "product = DudOVEDuro Device\n" +
                              chipSection);
    }
    if (!timed) {
        emu.configure(base + chipSection);
        bench.note("stop latency: the emulator has no bench timing here; measured instant");
    }
    UsbTransport link(EmulatorClient::kDefaultPath);
    auto buffer = std::make_unique<DataBuffer>();
    StopTimingHost host;
    ChipEngine engine(link, *buffer, host);
    ChipCommands commands(engine, host);
    ChipRecord chip;
    chip.Family = 0;
    chip.FlashSize = size;
    chip.FlashPage = 256;
    chip.Delay = 100;
    chip.ChipId = 0xEF4016;
    double worst = 0;
    double best = 1e9;
    for (int rep = 0; rep < std::max(3, bench.repetitions()); ++rep) {
        host.Pumps = 0;
        host.StopAt = 200 + rep * 37;
        if (commands.Read(chip) != CommandResult::Stopped) {
            bench.note("stop latency: the read was not stopped");
            return;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(host.Closed - host.Asked).count();
        worst = std::max(worst, ms);
        best = std::min(best, ms);
    }
    const std::string mode = timed ? "_bench_timing" : "_instant";
    bench.report("stop_to_close_read" + mode + "_worst", worst, "ms");
    bench.report("stop_to_close_read" + mode + "_best", best, "ms");

    // An erase the chip is slow with, at the window's own waits (50 ms before
    // each status poll, 50 ms before each reply): the request comes from
    // another thread at an arbitrary moment, as a key press would.
    emu.configure(base + chipSection + "erase_busy_polls = 1000000\n");
    link.setReplyWait(std::chrono::milliseconds(50));
    host.StopAt = -1;
    worst = 0;
    for (int rep = 0; rep < 5; ++rep) {
        std::thread asker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(180 + 23 * rep));
            host.Asked = Clock::now();
            host.requestStop();
        });
        const CommandResult result = commands.Erase(chip);
        asker.join();
        if (result != CommandResult::Stopped) {
            bench.note("stop latency: the erase was not stopped");
            return;
        }
        worst = std::max(
            worst, std::chrono::duration<double, std::milli>(host.Closed - host.Asked).count());
    }
    bench.report("stop_to_close_erase_polling_worst", worst, "ms");
    emu.useDefault();
}
