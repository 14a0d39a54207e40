#include "buffer/DataBuffer.h"
#include "cli/CliFiles.h"
#include "cli/CliRuns.h"
#include "cli/CliSteps.h"

#include <memory>
#include <string>

namespace vantor {

int RunConvert(const Options& o, CliPrompts& prompts) {
    const std::string& in = o.args[0];
    const std::string& out = o.args[1];
    if (OverwriteDeclinedAhead(out, o.yes)) {
        return kFailed;
    }
    if (!OutputCreatable(out)) {
        return kBadInput;
    }
    auto buffer = std::make_unique<DataBuffer>();
    if (const int status = LoadInput(*buffer, in, prompts); status != kDone) {
        return status;
    }
    const std::uint32_t count = o.size ? *o.size : std::uint32_t(buffer->UsedLength);
    return SaveOutput(*buffer, OutputPath(out), count, prompts);
}

// The checksums of a file, as write would load it: no programmer needed.
int RunFileChecksum(const Options& o, CliPrompts& prompts, CliReport& report) {
    auto buffer = std::make_unique<DataBuffer>();
    report.set("file", o.args.front());
    if (const int status = LoadInput(*buffer, o.args.front(), prompts); status != kDone) {
        return status;
    }
    ReportChecksums(report, buffer->data(), std::size_t(buffer->UsedLength));
    return kDone;
}

} // namespace vantor
