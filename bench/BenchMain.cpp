#include "bench/BenchRegistry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace vantor::bench {
namespace {

std::vector<BenchEntry>& Registry() {
    static std::vector<BenchEntry> entries;
    return entries;
}

} // namespace

BenchRegistration::BenchRegistration(const char* name, BenchFunction function) {
    Registry().push_back({name, function});
}

std::vector<BenchEntry> RegisteredBenches() {
    std::vector<BenchEntry> sorted = Registry();
    std::sort(sorted.begin(), sorted.end(),
              [](const BenchEntry& a, const BenchEntry& b) { return a.name < b.name; });
    return sorted;
}

void BenchContext::report(const std::string& name, double value, const std::string& unit) {
    std::printf("%s %.4g %s\n", name.c_str(), value, unit.c_str());
    std::fflush(stdout);
}

void BenchContext::note(const std::string& text) {
    std::fprintf(stderr, "# %s\n", text.c_str());
}

double BenchContext::bestSeconds(const std::function<void()>& fn) const {
    double best = 1e300;
    for (int i = 0; i < repetitions_; ++i) {
        auto start = std::chrono::steady_clock::now();
        fn();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, s);
    }
    return best;
}

bool BenchContext::haveTool(const std::string& program) {
    std::string command = "command -v '" + program + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

double BenchContext::bestCommandSeconds(const std::string& command) const {
    bool failed = false;
    double best = bestSeconds([&] {
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
            failed = true;
    });
    return failed ? -1.0 : best;
}

} // namespace vantor::bench

int main(int argc, char** argv) {
    using namespace vantor::bench;
    int reps = 3;
    bool list = false;
    std::vector<std::string> filters;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0) {
            list = true;
        } else if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (argv[i][0] == '-') {
            std::fprintf(stderr, "usage: vantor_bench [--list] [--reps N] [FILTER...]\n");
            return 2;
        } else {
            filters.emplace_back(argv[i]);
        }
    }
    std::vector<BenchEntry> chosen;
    for (const BenchEntry& e : RegisteredBenches()) {
        bool match = filters.empty();
        for (const std::string& f : filters)
            match = match || e.name.find(f) != std::string::npos;
        if (match)
            chosen.push_back(e);
    }
    if (list) {
        for (const BenchEntry& e : chosen)
            std::printf("%s\n", e.name.c_str());
        return 0;
    }

    std::string pattern = (std::filesystem::temp_directory_path() / "vantor-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("vantor_bench: scratch folder");
        return 1;
    }
    BenchContext context(reps, pattern);
    for (const BenchEntry& e : chosen)
        e.function(context);
    std::error_code ec;
    std::filesystem::remove_all(pattern, ec);
    return 0;
}
