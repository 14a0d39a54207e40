// Host time per 4 KiB bulk read through the real stack (the system's libusb
// 0.1, usbdevfs URBs under umockdev, the harness forwarding to the emulator)
// against the emulator loaded as the library, and their ratio. Both include
// the emulator's own work; the difference is what the kernel interface and
// the testbed's socket round trips cost per transfer.
#include "bench/BenchRegistry.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr int kTransfers = 1024; // 4 MiB

// The probe's figure, run `reps` times through `prefix`; the lowest, or a
// negative value when it fails.
double BestMicroseconds(const std::string& command, int reps) {
    double best = -1;
    for (int i = 0; i < reps; ++i) {
        FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
        double value = -1;
        if (pipe == nullptr) {
            return -1;
        }
        if (std::fscanf(pipe, "%lf", &value) != 1) {
            value = -1;
        }
        if (pclose(pipe) != 0 || value < 0) {
            return -1;
        }
        best = best < 0 || value < best ? value : best;
    }
    return best;
}

} // namespace

VANTOR_BENCH(realstack_transfer) {
    std::ofstream(bench.file("realstack.ini"), std::ios::trunc)
        << "[bus]\nlog = 0\n[chip]\nsize = 4M\n";
    const std::string config = bench.file("realstack.ini");
    const std::string probe = std::string(VANTOR_TRANSFER_PROBE) + " ";
    const std::string count = " " + std::to_string(kTransfers);
    const double direct = BestMicroseconds("VANTOR_EMULATOR_CONFIG=" + config + " " + probe +
                                               VANTOR_EMULATOR_PATH + count,
                                           bench.repetitions());
    const double real = BestMicroseconds(std::string(VANTOR_REALSTACK) + " --config " + config +
                                             " -- " + probe + "libusb-0.1.so.4" + count,
                                         bench.repetitions());
    if (direct < 0 || real < 0) {
        bench.note("realstack_transfer: the probe failed (umockdev unavailable?)");
        return;
    }
    bench.report("transfer_4k_emulator_direct", direct, "us");
    bench.report("transfer_4k_real_stack", real, "us");
    bench.report("transfer_4k_real_stack_ratio", real / direct, "x");
}
