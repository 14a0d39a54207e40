// vantor-cli convert of a 64 MiB image, side by side with srec_cat and
// objcopy doing the same conversions, as whole processes.
#include "bench/BenchRegistry.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string BinDir() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return ".";
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/'));
}

void WriteRandomImage(const std::string& path, size_t size) {
    std::vector<unsigned char> image(size);
    std::mt19937_64 rng(42);
    for (size_t i = 0; i < size; i += 8) {
        uint64_t v = rng();
        for (size_t k = 0; k < 8 && i + k < size; ++k)
            image[i + k] = static_cast<unsigned char>(v >> (8 * k));
    }
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(image.data(), 1, image.size(), f);
        std::fclose(f);
    }
}

} // namespace

VANTOR_BENCH(convert) {
    const std::string cli = BinDir() + "/vantor-cli";
    if (access(cli.c_str(), X_OK) != 0) {
        bench.note("vantor-cli not built: " + cli);
        return;
    }
    const std::string bin = bench.file("image.bin"), hex = bench.file("image.hex"),
                      srec = bench.file("image.src"), eep = bench.file("image.eep");
    WriteRandomImage(bin, 64u << 20);
    auto ours = [&](const std::string& in, const std::string& out) {
        return bench.bestCommandSeconds(cli + " --yes convert " + in + " " + out + " >/dev/null");
    };
    struct Step {
        const char* name;
        std::string in, out;
        std::string srecCat, objcopy;
    };
    const Step steps[] = {
        {"bin_to_hex", bin, hex, "srec_cat " + bin + " -binary -o " + hex + ".ref -intel",
         "objcopy -I binary -O ihex " + bin + " " + hex + ".ref"},
        {"hex_to_bin", hex, bin + ".out", "srec_cat " + hex + " -intel -o " + bin + ".ref -binary",
         "objcopy -I ihex -O binary " + hex + " " + bin + ".ref"},
        {"bin_to_srec", bin, srec, "srec_cat " + bin + " -binary -o " + srec + ".ref -motorola",
         "objcopy -I binary -O srec " + bin + " " + srec + ".ref"},
        // The Open rules read S-records from ".eep" files (".src" loads raw).
        {"srec_to_bin", eep, bin + ".out2",
         "srec_cat " + eep + " -motorola -o " + bin + ".ref -binary",
         "objcopy -I srec -O binary " + eep + " " + bin + ".ref"},
    };
    for (const Step& step : steps) {
        if (step.in == eep)
            std::rename(srec.c_str(), eep.c_str());
        double mine = ours(step.in, step.out);
        if (mine <= 0) {
            bench.note(std::string("convert failed: ") + step.name);
            continue;
        }
        bench.report(std::string("convert_") + step.name, mine, "s");
        if (bench.haveTool("srec_cat")) {
            double other = bench.bestCommandSeconds(step.srecCat + " 2>/dev/null");
            if (other > 0)
                bench.report(std::string("convert_") + step.name + "_vs_srec_cat", other / mine,
                             "x");
        }
        if (bench.haveTool("objcopy")) {
            double other = bench.bestCommandSeconds(step.objcopy + " 2>/dev/null");
            if (other > 0)
                bench.report(std::string("convert_") + step.name + "_vs_objcopy", other / mine,
                             "x");
        }
    }
}
