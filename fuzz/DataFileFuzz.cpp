// The loader's choice of format and the file-based readers: the first input
// byte picks the extension, the rest becomes the file's content.
#include "buffer/DataFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kNames[] = {"f.eep", "f.EEP", "f.hex", "f.Hex", "f.bin",
                              "f.cap", "f.src", "f.rom", "f",     "f.dir/f"};

std::string& WorkDirPath() {
    static std::string path;
    return path;
}

// A scratch folder for the input file, removed when the run ends.
const std::string& WorkDir() {
    std::string& path = WorkDirPath();
    if (path.empty()) {
        std::string pattern = "/tmp/vantor-fuzz-XXXXXX";
        path = ::mkdtemp(pattern.data()) ? pattern : "/tmp";
        if (path != "/tmp") {
            ::mkdir((path + "/f.dir").c_str(), 0700);
            std::atexit([] {
                std::error_code ec;
                std::filesystem::remove_all(WorkDirPath(), ec);
            });
        }
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    constexpr uint32_t kTarget = 0x4000;
    static const std::unique_ptr<uint8_t[]> target(new uint8_t[kTarget]);
    const std::string path = WorkDir() + "/" + kNames[data[0] % std::size(kNames)];
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }
    int32_t loaded = vantor::LoadDataFile(path, target.get(), kTarget);
    if (loaded < 0 || loaded > static_cast<int32_t>(kTarget))
        __builtin_trap();
    ::unlink(path.c_str());
    return 0;
}
