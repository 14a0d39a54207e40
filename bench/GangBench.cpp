// Gang programming: four emulated programmers, each written and verified
// with 4 MiB by its own vantor-cli process at once, against one alone. A
// ratio near 1 shows that nothing in the host serialises the processes.
// With bench timing in the emulator the processes spend their time waiting
// on the wire as they would on a bench; without it they compete for the
// CPU, and the ratio shows the machine's cores rather than the host.
#include "bench/BenchRegistry.h"
#include "emulator/EmulatorClient.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kProgrammers = 4;
constexpr unsigned kChipBytes = 4u << 20;

std::string ExecutableDir() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return ".";
    }
    const std::string path(self, std::size_t(n));
    return path.substr(0, path.rfind('/'));
}

void WriteConfig(const vantor::bench::BenchContext& bench, bool benchTiming, int eraseMs = 0) {
    std::ofstream ini(bench.file("gang.ini"), std::ios::trunc);
    ini << "[bus]\ndevices = p1, p2, p3, p4\nlog = 0\n";
    if (benchTiming) {
        ini << "timing = usb-full-speed\n";
    }
    for (int i = 1; i <= kProgrammers; ++i) {
        ini << "[p" << i << "]\nchip = c" << i << "\n[c" << i
            << "]\nfamily = 0\njedec = EF4016\nsize = 4M\nerase_busy_ms = " << eraseMs
            << "\nimage = " << bench.file("chip" + std::to_string(i) + ".bin") << "\n";
    }
}

} // namespace

VANTOR_BENCH(gang) {
    const std::string dir = ExecutableDir();
    const std::string cli = dir + "/vantor-cli";
    if (access(cli.c_str(), X_OK) != 0) {
        bench.note("vantor-cli not built: " + cli);
        return;
    }
    const std::string image = bench.file("fw.bin");
    {
        std::vector<char> data(kChipBytes);
        std::mt19937 random(7);
        for (char& c : data) {
            c = char(random());
        }
        std::ofstream(image, std::ios::binary).write(data.data(), std::streamsize(data.size()));
    }
    setenv("VANTOR_EMULATOR_CONFIG", bench.file("gang.ini").c_str(), 1);
    // Bench timing where the emulator knows it; instant otherwise, said so.
    WriteConfig(bench, true);
    const std::string base = cli + " --db " + dir + "/vantor.Dat --usb-library " +
                             vantor::EmulatorClient::kDefaultPath + " --quiet --yes";
    if (std::system((base + " devices >/dev/null 2>&1").c_str()) != 0) {
        WriteConfig(bench, false);
        bench.note("gang: the emulator has no bench timing; figures in instant mode");
    }
    const auto writeVerify = [&](int n) {
        const std::string one = base + " --device " + std::to_string(n);
        return "{ " + one + " write --chip W25Q32BV " + image + " && " + one +
               " verify --chip W25Q32BV " + image + "; }";
    };
    const auto measure = [&](const std::string& name, auto job) {
        const double alone = bench.bestCommandSeconds(job(1) + " >/dev/null");
        std::string all;
        std::string waits = "true";
        for (int n = 1; n <= kProgrammers; ++n) {
            all += job(n) + " >/dev/null & p" + std::to_string(n) + "=$!; ";
            waits += " && wait $p" + std::to_string(n);
        }
        const double together = bench.bestCommandSeconds(all + waits);
        if (alone <= 0 || together <= 0) {
            bench.note("gang: a command failed in " + name);
            return;
        }
        bench.report("gang_one_" + name, alone, "s");
        bench.report("gang_four_at_once_" + name, together, "s");
        bench.report("gang_four_vs_one_" + name, together / alone, "x");
    };
    measure("write_verify_4MiB", writeVerify);

    // The same host path with a chip erase that keeps each programmer busy
    // for 2 s of wall time, as silicon does: the processes wait side by side.
    WriteConfig(bench, false, 2000);
    measure("auto_4MiB_2s_erase", [&](int n) {
        return base + " --device " + std::to_string(n) + " auto --chip W25Q32BV " + image;
    });
}
