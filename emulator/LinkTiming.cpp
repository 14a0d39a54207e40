#include "emulator/Emulator.h"

#include <algorithm>
#include <thread>

namespace vantor::emu {

namespace {

// Full-speed bulk: 64-byte packets, at most 19 of them in a 1 ms frame.
constexpr std::int64_t kPacketBytes = 64;
constexpr std::int64_t kPacketsPerFrame = 19;
constexpr std::int64_t kFrameNs = 1000000;

} // namespace

std::int64_t LinkTimeNs(int bytes) {
    const std::int64_t packets =
        std::max<std::int64_t>(1, (bytes + kPacketBytes - 1) / kPacketBytes);
    return packets * kFrameNs / kPacketsPerFrame;
}

void Emulator::spend(std::int64_t ns) {
    wireTimeNs += ns;
    if (!Current.benchTiming || ns <= 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    const auto arrive = Clock::now();
    const auto target = arrive + std::chrono::nanoseconds(ns) - PaceCredit;
    if (target <= arrive) {
        PaceCredit -= std::chrono::nanoseconds(ns);
        return;
    }
    std::this_thread::sleep_until(target);
    // A long stall (the process descheduled) is not paid back beyond 100 ms.
    PaceCredit =
        std::min<std::chrono::nanoseconds>(Clock::now() - target, std::chrono::milliseconds(100));
}

} // namespace vantor::emu
