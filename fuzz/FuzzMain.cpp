// Drives a libFuzzer-style harness where libFuzzer is not available (gcc):
// runs every corpus file once, then seeded random mutations of them for a
// bounded number of runs or seconds. Same seed, same inputs, so a failure is
// reproduced by running again with the printed arguments.
//
//   fuzz_x [-runs=N] [-seed=S] [-max_len=L] [-max_total_time=SEC] [DIR|FILE]...
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Sanitizer builds report the input that failed through this hook.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

using Input = std::vector<uint8_t>;

const Input* g_current = nullptr;

void SaveCurrentInput() {
    if (!g_current)
        return;
    if (FILE* f = std::fopen("crash-input", "wb")) {
        std::fwrite(g_current->data(), 1, g_current->size(), f);
        std::fclose(f);
        std::fprintf(stderr, "fuzz: failing input written to ./crash-input\n");
    }
}

// Fragments that carry meaning in the record formats.
const char* const kTokens[] = {":",  "\n", "\r\n", "S",           "S1",        "S2",        "S3",
                               "S9", "S7", "S8",   "S0",          "S5",        "00",        "01",
                               "02", "03", "04",   "05",          "FF",        "FFFF",      "7F",
                               "80", "10", "20",   ":00000001FF", ":02000004", ":02000002", "0"};

class Mutator {
public:
    explicit Mutator(uint32_t seed) : rng_(seed) {}

    Input Mutate(const std::vector<Input>& corpus, size_t maxLen) {
        Input in = corpus.empty() ? Input{} : corpus[Below(corpus.size())];
        int steps = 1 + static_cast<int>(Below(4));
        for (int s = 0; s < steps; ++s)
            Step(in, corpus);
        if (in.size() > maxLen)
            in.resize(maxLen);
        return in;
    }

private:
    size_t Below(size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng_);
    }
    uint8_t HexDigit() { return static_cast<uint8_t>("0123456789ABCDEFabcdef"[Below(22)]); }

    void Step(Input& in, const std::vector<Input>& corpus) {
        size_t at = Below(in.size() + 1);
        switch (Below(9)) {
        case 0: // flip a bit
            if (!in.empty())
                in[Below(in.size())] ^= static_cast<uint8_t>(1u << Below(8));
            break;
        case 1: // any byte
            if (!in.empty())
                in[Below(in.size())] = static_cast<uint8_t>(Below(256));
            break;
        case 2: // another hex digit: keeps the syntax, changes the meaning
            if (!in.empty())
                in[Below(in.size())] = HexDigit();
            break;
        case 3: // insert a byte
            in.insert(in.begin() + static_cast<long>(at), static_cast<uint8_t>(Below(256)));
            break;
        case 4: { // delete a run
            if (in.empty())
                break;
            size_t from = Below(in.size());
            size_t n = 1 + Below(std::min<size_t>(16, in.size() - from));
            in.erase(in.begin() + static_cast<long>(from),
                     in.begin() + static_cast<long>(from + n));
            break;
        }
        case 5: { // insert a token
            const char* t = kTokens[Below(std::size(kTokens))];
            in.insert(in.begin() + static_cast<long>(at), t, t + std::strlen(t));
            break;
        }
        case 6: { // duplicate a run (long lines, repeated records)
            if (in.empty())
                break;
            size_t from = Below(in.size());
            size_t n = 1 + Below(std::min<size_t>(600, in.size() - from));
            Input run(in.begin() + static_cast<long>(from),
                      in.begin() + static_cast<long>(from + n));
            in.insert(in.begin() + static_cast<long>(at), run.begin(), run.end());
            break;
        }
        case 7: { // splice in part of another input
            if (corpus.empty())
                break;
            const Input& other = corpus[Below(corpus.size())];
            if (other.empty())
                break;
            size_t from = Below(other.size());
            size_t n = 1 + Below(other.size() - from);
            in.insert(in.begin() + static_cast<long>(at), other.begin() + static_cast<long>(from),
                      other.begin() + static_cast<long>(from + n));
            break;
        }
        default: { // a run of hex digits
            size_t n = 1 + Below(8);
            for (size_t i = 0; i < n; ++i)
                in.insert(in.begin() + static_cast<long>(at), HexDigit());
            break;
        }
        }
    }

    std::mt19937 rng_;
};

Input ReadAll(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Input(std::istreambuf_iterator<char>(f), {});
}

bool Flag(const char* arg, const char* name, long long& value) {
    size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0)
        return false;
    value = std::atoll(arg + n);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    long long runs = 10000, seed = 1, maxLen = 4096, maxTime = 0;
    std::vector<Input> corpus;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (Flag(a, "-runs=", runs) || Flag(a, "-seed=", seed) || Flag(a, "-max_len=", maxLen) ||
            Flag(a, "-max_total_time=", maxTime))
            continue;
        if (a[0] == '-') {
            std::fprintf(stderr, "fuzz: unknown option %s\n", a);
            return 2;
        }
        std::filesystem::path p(a);
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::directory_iterator(p))
                if (e.is_regular_file())
                    corpus.push_back(ReadAll(e.path()));
        } else {
            corpus.push_back(ReadAll(p));
        }
    }
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(SaveCurrentInput);

    long long executed = 0;
    for (const Input& in : corpus) {
        g_current = &in;
        LLVMFuzzerTestOneInput(in.data(), in.size());
        ++executed;
    }
    Mutator mutator(static_cast<uint32_t>(seed));
    const auto start = std::chrono::steady_clock::now();
    for (long long r = 0; r < runs; ++r) {
        Input in = mutator.Mutate(corpus, static_cast<size_t>(maxLen));
        g_current = &in;
        LLVMFuzzerTestOneInput(in.data(), in.size());
        ++executed;
        if (maxTime > 0 && (r & 255) == 0 &&
            std::chrono::steady_clock::now() - start > std::chrono::seconds(maxTime))
            break;
    }
    g_current = nullptr;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("fuzz: %lld executions (%zu corpus inputs, seed %lld) in %.1f s, 0 crashes\n",
                executed, corpus.size(), seed, seconds);
    return 0;
}
