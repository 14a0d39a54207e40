// What the production log costs a chip: the store opened, the row (with a
// serial number reserved) written before the chip and completed after, as
// a vantor-cli process does once per chip; set against a 4 MiB Auto with
// the emulator's bench timing, run with and without the log.
#include "bench/BenchRegistry.h"
#include "emulator/EmulatorClient.h"
#include "production/LogStore.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned kChipBytes = 4u << 20;

std::string ExecutableDir() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, n > 0 ? std::size_t(n) : 0);
    return n > 0 ? path.substr(0, path.rfind('/')) : ".";
}

// One chip's worth of log work, as vantor-cli does it.
bool LogOneChip(const std::string& target) {
    std::string why;
    const auto store = vantor::OpenLogStore(target, why);
    if (!store) {
        return false;
    }
    vantor::OperationStart start;
    start.host = "bench";
    start.chip = "SPI_FLASH,Winbond,W25Q32BV";
    start.command = "auto";
    start.file = "fw.bin";
    start.fileSize = kChipBytes;
    start.fileCrc32 = 0x12345678;
    start.version = "bench";
    start.serial = vantor::SerialSeries{*vantor::SerialField::parse("0x100:4:be"), 1, 1};
    const auto row = store->begin(start);
    vantor::OperationEnd end;
    end.result = "completed";
    end.device = "001:001";
    return row && store->complete(row->id, end);
}

} // namespace

VANTOR_BENCH(production_log) {
    const std::string db = bench.file("line.db");
    LogOneChip(db); // the schema made once, as on a line's first chip
    const double perChip = bench.bestSeconds([&] {
        for (int i = 0; i < 20; ++i) {
            LogOneChip(db);
        }
    }) / 20;
    bench.report("production_log_sqlite_per_chip", perChip * 1e3, "ms");
    if (const char* url = std::getenv("VANTOR_BENCH_POSTGRES_URL")) {
        LogOneChip(url);
        const double pg = bench.bestSeconds([&] {
            for (int i = 0; i < 20; ++i) {
                LogOneChip(url);
            }
        }) / 20;
        bench.report("production_log_postgres_per_chip", pg * 1e3, "ms");
    }

    // The Auto it is set against: 4 MiB, bench timing, one process.
    const std::string dir = ExecutableDir();
    const std::string cli = dir + "/vantor-cli";
    if (access(cli.c_str(), X_OK) != 0) {
        bench.note("vantor-cli not built: " + cli);
        return;
    }
    {
        std::vector<char> data(kChipBytes);
        std::mt19937 random(26);
        for (char& c : data) {
            c = char(random());
        }
        std::ofstream(bench.file("fw.bin"), std::ios::binary)
            .write(data.data(), std::streamsize(data.size()));
        std::ofstream(bench.file("line.ini"))
            << "[bus]\ntiming = usb-full-speed\nlog = 0\n[chip]\nfamily = 0\njedec = EF4016\n"
               "size = 4M\nimage = "
            << bench.file("chip.bin") << "\n";
    }
    setenv("VANTOR_EMULATOR_CONFIG", bench.file("line.ini").c_str(), 1);
    const std::string base = cli + " --db " + dir + "/vantor.Dat --usb-library " +
                             vantor::EmulatorClient::kDefaultPath + " --quiet --yes";
    const std::string job = " auto --chip W25Q32BV " + bench.file("fw.bin");
    const auto once = [](const std::string& command) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = std::system((command + " >/dev/null 2>&1").c_str()) == 0;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        return ok ? took.count() : -1.0;
    };
    const double plain = once(base + job);
    const double logged = once(base + " --log-db " + db + " --serial 0x100:4:be" + job);
    if (plain <= 0 || logged <= 0) {
        bench.note("production_log: an auto run failed");
        return;
    }
    bench.report("production_auto_4MiB_bench_timing", plain, "s");
    bench.report("production_auto_4MiB_bench_timing_logged", logged, "s");
    bench.report("production_log_share_of_auto", 100.0 * perChip / plain, "%");
}
