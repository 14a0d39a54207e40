#pragma once
// The benchmark runner's registry. A figure is a function defined with
// VANTOR_BENCH(name) in any .cpp file listed in bench/CMakeLists.txt; it
// measures something and reports one or more lines "name value unit"
// through the BenchContext it is handed as `bench`:
//
//   #include "bench/BenchRegistry.h"
//   VANTOR_BENCH(startup) {
//       double s = bench.bestSeconds([] { /* ... */ });
//       bench.report("startup_first_paint", s, "s");
//   }
//
// vantor_bench [--list] [--reps N] [FILTER...] runs the figures whose
// registered name contains one of the filters (all without filters).
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vantor::bench {

class BenchContext {
public:
    BenchContext(int repetitions, std::string workDir)
        : repetitions_(repetitions), workDir_(std::move(workDir)) {}

    // Prints "name value unit" on its own line.
    void report(const std::string& name, double value, const std::string& unit);
    // A note on stderr (skipped tools and the like); never a figure line.
    void note(const std::string& text);

    int repetitions() const { return repetitions_; }
    // A scratch folder for files, removed when the runner ends.
    const std::string& workDir() const { return workDir_; }
    std::string file(const std::string& name) const { return workDir_ + "/" + name; }

    // The lowest wall-clock time in seconds of repetitions() calls of fn.
    double bestSeconds(const std::function<void()>& fn) const;
    // Whether a program is on the PATH.
    static bool haveTool(const std::string& program);
    // The lowest time of repetitions() runs of a shell command; negative
    // when the command fails.
    double bestCommandSeconds(const std::string& command) const;

private:
    int repetitions_;
    std::string workDir_;
};

using BenchFunction = void (*)(BenchContext&);

struct BenchEntry {
    std::string name;
    BenchFunction function;
};

// Every registered figure, in name order.
std::vector<BenchEntry> RegisteredBenches();

struct BenchRegistration {
    BenchRegistration(const char* name, BenchFunction function);
};

} // namespace vantor::bench

#define VANTOR_BENCH(name)                                                                         \
    static void vantor_bench_fn_##name(::vantor::bench::BenchContext& bench);                      \
    static const ::vantor::bench::BenchRegistration vantor_bench_reg_##name(                       \
        #name, &vantor_bench_fn_##name);                                                           \
    static void vantor_bench_fn_##name(::vantor::bench::BenchContext& bench)
