// Files from public projects (tests/data, origins in its README) load to the
// images srec_cat makes of them, and to the same bytes as srec_cat and
// python intelhex read where those are installed; invalid ones are refused.
#include "buffer/Checksum.h"
#include "buffer/DataFile.h"
#include "core/Prompts.h"
#include "tests/buffer/BufferTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace vantor;

namespace {

struct CorpusFile {
    const char* name;
    bool valid;
    uint64_t base; // from --base auto: 0 unless the data lies above the buffer
    uint32_t extent;
    uint32_t crc; // of the extent from the base, gaps 0xFF
};

// Expected images as srec_cat produces them (gaps 0xFF, from the base).
const CorpusFile kCorpus[] = {
    {"ATmegaBOOT.hex", true, 0, 0x1FA8, 0xB00B9BBA},
    {"ATmegaBOOT_168_atmega1280.hex", true, 0, 0x1FF16, 0x13271BC7},
    {"Arduino-usbserial-uno.hex", true, 0, 0xFDA, 0x98E9222A},
    {"Caterina-LeonardoEthernet.hex", true, 0, 0x7F66, 0xE53E612D},
    {"digits.hex", true, 0, 0xA, 0xA684C7C6},
    {"optiboot_atmega328.hex", true, 0, 0x8000, 0x9EB3332C},
    {"stk500boot_v2_mega2560.hex", true, 0, 0x3FD1E, 0x158EDAA4},
    {"GIGA_bootloader.hex", true, 0x08000000, 0x1F42C, 0x0B3B7E47},
    {"FakeFirmware.s19", true, 0, 0xB6A4, 0x6B894AD9},
    {"optiboot_at_60000000.s37", true, 0x60000000, 0x200, 0x388B1A0E},
    // A record count that the records do not match.
    {"BadFirmware-line-removed.s37", false, 0, 0, 0},
    // Comment lines: srec_cat skips them with a warning, we refuse them.
    {"FakeFirmware.s37", false, 0, 0, 0},
};

std::string DataFile(const char* name) {
    return std::string(VANTOR_TEST_DATA_DIR) + "/" + name;
}

bool Have(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

class CorpusTest : public ::testing::Test {
protected:
    RecordingPrompts prompts;
    ScopedPrompts scope{prompts};
    std::vector<uint8_t> image = std::vector<uint8_t>(0x100000);

    // Loads as --base auto does; the extent, the base used.
    int32_t Load(const CorpusFile& file, uint64_t& base) {
        std::fill(image.begin(), image.end(), 0xFF);
        LoadRequest request;
        request.baseChoice = BaseChoice::Auto;
        return LoadDataFile(DataFile(file.name), image.data(), uint32_t(image.size()), request,
                            &base);
    }
};

} // namespace

TEST_F(CorpusTest, EveryFileLoadsToItsImageOrIsRefused) {
    for (const CorpusFile& file : kCorpus) {
        prompts.clear();
        uint64_t base = 1;
        const int32_t extent = Load(file, base);
        if (!file.valid) {
            EXPECT_EQ(extent, 0) << file.name;
            EXPECT_EQ(prompts.texts("file").size(), 1u) << file.name;
            continue;
        }
        EXPECT_EQ(uint32_t(extent), file.extent) << file.name;
        EXPECT_EQ(base, file.base) << file.name;
        EXPECT_EQ(Crc32(image.data(), file.extent), file.crc) << file.name;
        EXPECT_TRUE(prompts.texts("file").empty()) << file.name;
    }
}

TEST_F(CorpusTest, WrittenBackAtTheSameAddresses) {
    // Every valid file, written as Intel HEX and as S-record from the base
    // it was loaded at, reads back to the same addresses and bytes.
    test::TempDir dir;
    for (const CorpusFile& file : kCorpus) {
        if (!file.valid)
            continue;
        uint64_t base = 0;
        ASSERT_EQ(uint32_t(Load(file, base)), file.extent) << file.name;
        const std::vector<uint8_t> loaded(image.begin(), image.begin() + file.extent);
        for (const char* ext : {".hex", ".s37"}) {
            const std::string out = dir.file(std::string("back") + ext);
            SaveRequest save;
            save.base = base;
            prompts.yesNoAnswers = {true};
            ASSERT_TRUE(SaveDataFile(out, loaded.data(), file.extent, save)) << file.name;
            LoadRequest given;
            given.base = base;
            std::fill(image.begin(), image.end(), 0xFF);
            EXPECT_EQ(uint32_t(LoadDataFile(out, image.data(), uint32_t(image.size()), given)),
                      file.extent)
                << file.name << ext;
            EXPECT_EQ(std::memcmp(image.data(), loaded.data(), file.extent), 0) << file.name << ext;
        }
    }
}

TEST_F(CorpusTest, SameBytesAsSrecCatAndIntelhex) {
    // The reference tools, where installed, give the same image: zero
    // differing bytes on every valid file.
    const bool srecCat = Have("srec_cat --version");
    const bool intelhex = Have("/usr/bin/python3 -c 'import intelhex'");
    if (!srecCat && !intelhex)
        GTEST_SKIP() << "neither srec_cat nor python3 intelhex installed";
    test::TempDir dir;
    size_t differences = 0;
    for (const CorpusFile& file : kCorpus) {
        if (!file.valid)
            continue;
        const bool hex = std::strstr(file.name, ".hex") != nullptr;
        const std::string in = DataFile(file.name);
        const std::string out = dir.file("ref.bin");
        std::vector<std::string> commands;
        if (srecCat)
            commands.push_back("srec_cat " + in + (hex ? " -intel" : "") + " -offset -" +
                               std::to_string(file.base) + " -fill 0xFF 0 " +
                               std::to_string(file.extent) + " -o " + out + " -binary");
        if (intelhex && hex)
            commands.push_back(
                "/usr/bin/python3 -c 'import intelhex,sys; h=intelhex.IntelHex(sys.argv[1]); "
                "h.tobinfile(sys.argv[2], start=" +
                std::to_string(file.base) + ")' " + in + " " + out);
        uint64_t base = 0;
        ASSERT_EQ(uint32_t(Load(file, base)), file.extent) << file.name;
        for (const std::string& command : commands) {
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            const std::string reference = test::ReadFile(out);
            EXPECT_EQ(reference.size(), file.extent) << command;
            for (size_t i = 0; i < std::min<size_t>(reference.size(), file.extent); ++i)
                differences += uint8_t(reference[i]) != image[i];
        }
    }
    EXPECT_EQ(differences, 0u);
}
