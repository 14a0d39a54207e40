// What the checks after Erase and Write cost, against the emulator with bench
// timing (link and chip take real-hardware time): the write check (first and
// last page read back) beside a 4 MiB write, the erase check (three sample
// pages) beside the same write, and the ID request every command already
// made. Figures are wall-clock seconds, the transport's 50 ms reply waits
// included, and their share of the write.
#include "bench/BenchRegistry.h"
#include "bench/EngineOps.h"
#include "buffer/DataBuffer.h"
#include "chipdb/ChipRecord.h"
#include "emulator/EmulatorClient.h"
#include "link/ChipEngine.h"
#include "link/UsbTransport.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <string>

namespace {

using namespace vantor;
using Clock = std::chrono::steady_clock;

double SecondsOf(const std::function<void()>& step) {
    const auto start = Clock::now();
    step();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

VANTOR_BENCH(safeguard_checks) {
    EmulatorClient emu;
    UsbTransport link(EmulatorClient::kDefaultPath); // the real 50 ms reply wait
    DataBuffer buffer;
    bench::SilentHost host;
    ChipEngine engine(link, buffer, host);

    constexpr std::uint32_t kSize = 4u << 20;
    emu.configure("[bus]\ntiming = usb-full-speed\nlog = 0\n[programmer]\nproduct = DudOVEDuro "
                  "Device\n[chip]\nfamily = 0\njedec = EF4016\npage = 256\nsize = 4M\n"
                  "erase_busy_polls = 0\n");
    std::mt19937 random(22);
    for (std::uint32_t i = 0; i < kSize; ++i)
        buffer.data()[i] = std::uint8_t(random());
    buffer.UsedLength = std::int32_t(kSize);
    ChipRecord chip;
    chip.Family = 0;
    chip.FlashSize = kSize;
    chip.FlashPage = 256;
    chip.Delay = 1000;
    chip.ChipId = 0xEF4016;

    std::uint8_t reply[4] = {};
    const double id = SecondsOf([&] { engine.ReadChipId(chip, reply); });
    emu.setImage(std::vector<std::uint8_t>(kSize, 0xFF));
    if (engine.OpenProgrammer(chip) == 0) {
        bench.note("safeguard_checks: no programmer");
        return;
    }
    const double write = SecondsOf([&] { engine.WriteChip(chip); });
    int written = 0;
    const auto wireBefore = emu.wireTime();
    double writeCheck = SecondsOf([&] { written = engine.CheckWritten(chip); });
    // The emulator may charge link time to later transfers: take what its
    // clock computed for the check's transfers when that is more.
    writeCheck =
        std::max(writeCheck, std::chrono::duration<double>(emu.wireTime() - wireBefore).count());
    engine.CloseProgrammer();
    // The erase check reads pages of an erased chip, as after a real erase.
    emu.setImage(std::vector<std::uint8_t>(kSize, 0xFF));
    engine.OpenProgrammer(chip);
    int erased = 0;
    const auto eraseWireBefore = emu.wireTime();
    double eraseCheck = SecondsOf([&] { erased = engine.CheckErased(chip); });
    eraseCheck = std::max(eraseCheck,
                          std::chrono::duration<double>(emu.wireTime() - eraseWireBefore).count());
    engine.CloseProgrammer();
    if (written != 1 || erased != 1)
        bench.note("safeguard_checks: a check failed");

    bench.report("safeguard_write_4MiB_seconds", write, "s");
    bench.report("safeguard_write_check_seconds", writeCheck, "s");
    bench.report("safeguard_erase_check_seconds", eraseCheck, "s");
    bench.report("safeguard_id_request_seconds", id, "s");
    bench.report("safeguard_write_check_vs_write", writeCheck / write * 100.0, "%");
    bench.report("safeguard_all_checks_vs_write", (writeCheck + eraseCheck + id) / write * 100.0,
                 "%");
}
