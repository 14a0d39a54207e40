// Files written by other tools (objcopy from binutils, srec_cat from
// srecord) load to the same bytes. Skipped where a tool is not installed.
// srec_cat leaves the termination record out unless it is given a start
// address, and a file without one is refused, so the test gives it one.
#include "buffer/DataFile.h"
#include "core/Prompts.h"
#include "tests/buffer/BufferTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace vantor;
using vantor::test::TempDir;

namespace {

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

struct Tool {
    const char* name;
    const char* program;
    const char* outName;
    const char* command; // %IN% and %OUT% are replaced
};

void PrintTo(const Tool& tool, std::ostream* os) {
    *os << tool.name;
}

class InteropTest : public ::testing::TestWithParam<Tool> {};

TEST_P(InteropTest, ForeignFileLoadsTheSameBytes) {
    const Tool tool = GetParam();
    if (!HaveTool(tool.program))
        GTEST_SKIP() << tool.program << " not installed";
    RecordingPrompts prompts;
    ScopedPrompts scope(prompts);
    TempDir dir;
    // Sizes that cross the 64 KiB windows and reach the 24-bit address range.
    for (uint32_t size : {1u, 33u, 0x10001u, 0x1000010u}) {
        auto image = vantor::test::RandomBytes(size, size);
        std::string in = dir.file("in.bin");
        std::string out = dir.file(tool.outName);
        vantor::test::WriteFile(in, image);
        std::string command = tool.command;
        command.replace(command.find("%IN%"), 4, in);
        command.replace(command.find("%OUT%"), 5, out);
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<uint8_t> back(DataBufferSize, 0xFF);
        EXPECT_EQ(LoadDataFile(out, back.data(), DataBufferSize), static_cast<int32_t>(size))
            << tool.outName << " " << size;
        EXPECT_EQ(std::memcmp(back.data(), image.data(), size), 0) << size;
        EXPECT_TRUE(prompts.log.empty()) << (prompts.log.empty() ? "" : prompts.log[0].text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, InteropTest,
    ::testing::Values(
        Tool{"objcopyIntelHex", "objcopy", "out.hex", "objcopy -I binary -O ihex %IN% %OUT%"},
        Tool{"objcopySRecord", "objcopy", "out.eep", "objcopy -I binary -O srec %IN% %OUT%"},
        Tool{"srec_catIntelHex", "srec_cat", "out.hex", "srec_cat %IN% -binary -o %OUT% -intel"},
        Tool{"srec_catSRecord", "srec_cat", "out.eep",
             "srec_cat %IN% -binary -execution-start-address=0 -o %OUT% -motorola"}),
    [](const ::testing::TestParamInfo<Tool>& p) { return std::string(p.param.name); });

} // namespace
