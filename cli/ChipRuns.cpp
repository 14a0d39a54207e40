#include "buffer/DataBuffer.h"
#include "chipdb/ChipDetection.h"
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"
#include "cli/ChipLookup.h"
#include "cli/CliFiles.h"
#include "cli/CliRuns.h"
#include "cli/CliSteps.h"
#include "cli/CommandTable.h"
#include "cli/OperatorCommands.h"
#include "core/MessageTable.h"
#include "link/ChipCommands.h"
#include "link/ChipEngine.h"
#include "link/ConnectionProbe.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {
namespace {

// One ID, parts of several sizes: the ID cannot tell which, so every
// candidate is named and the user chooses with --chip.
int NameSizesOfOneId(const DetectionOutcome& outcome, const ChipDatabase& db, CliReport& report) {
    std::string list;
    Complain(outcome.informationText);
    for (const DetectionOutcome& choice : outcome.choices) {
        for (int slot = choice.slot; slot >= 0;) {
            report.result("  " + ChipTriple(db[slot]) + " (" + SizeText(db[slot].FlashSize) + ")");
            list += (list.empty() ? "" : ",") + CliReport::Quote(ChipTriple(db[slot]));
            // The later parts of the same size follow their first.
            const auto later = OtherSlotsWithId(db, slot);
            const auto same = std::find_if(later.begin(), later.end(), [&](int other) {
                return db[other].FlashSize == db[slot].FlashSize;
            });
            slot = same == later.end() ? -1 : *same;
        }
    }
    report.setRaw("candidates", "[" + list + "]");
    report.setResult("ambiguous-id");
    return kFailed;
}

int RunDetect(const Options& o, const ChipDatabase& db, const std::optional<ChipRecord>& chip,
              CliReport& report) {
    ChipSelection boxes(&db);
    boxes.SelectChip(0, 0, 0);
    const ChipRecord asked =
        chip ? *chip : (boxes.CurrentChip() != nullptr ? *boxes.CurrentChip() : ChipRecord{});
    Programmer p(o, report);
    NoteProgrammer(o, p, report);
    ChipIdReply reply{};
    const int answered = p.Engine.ReadChipId(asked, reply.data());
    if (answered == 0 && p.Engine.stopped()) {
        report.setResult(ResultWord(CommandResult::Stopped));
        return kStopped;
    }
    if (answered == 0 && p.Engine.failed()) {
        Complain(TransferFailureText(*p.Engine.failure()));
        report.setResult(ResultWord(CommandResult::TransferFailed));
        return kFailed;
    }
    if (answered == 0) {
        ReportNoProgrammer(o, p.Link, report);
        return kFailed;
    }
    const DetectionOutcome outcome = DecideDetection(answered, reply, boxes, CurrentLanguage());
    if (!outcome.errorText.empty()) {
        Complain(outcome.errorText);
        return kFailed;
    }
    if (outcome.result == DetectionResult::SizeAmbiguous) {
        return NameSizesOfOneId(outcome, db, report);
    }
    for (const SelectChipCall& call : outcome.selectCalls) {
        boxes.SelectChip(call.typeIndex, call.makerIndex, call.nameIndex);
    }
    if (outcome.result != DetectionResult::Identified) {
        // A chip without an ID: only its type is known.
        report.set("type", boxes.typeBox().text());
        report.result("Detected: " + boxes.typeBox().text() + " (no ID)");
        return kDone;
    }
    // The chip the boxes now show, then every later record answering the ID:
    // --chip takes any of them.
    const unsigned id = ReplyChipId(reply);
    char idText[8];
    std::snprintf(idText, sizeof idText, "%06X", id);
    report.set("chip", ChipTriple(db[outcome.slot]));
    report.set("id", idText);
    report.result("Detected: " + boxes.nameBox().text() + " (" + boxes.typeBox().text() + ", ID " +
                  idText + ")");
    const std::vector<int> others = OtherSlotsWithId(db, outcome.slot);
    if (!others.empty()) {
        std::string list;
        report.result(std::string("Other chips with ID ") + idText + ":");
        for (const int slot : others) {
            report.result("  " + ChipTriple(db[slot]));
            list += (list.empty() ? "" : ",") + CliReport::Quote(ChipTriple(db[slot]));
        }
        report.setRaw("others", "[" + list + "]");
    }
    return kDone;
}

int RunRead(ChipJob& job) {
    const std::string& file = job.options.args.front();
    // Refused before the chip is read, not after.
    if (OverwriteDeclinedAhead(file, job.options.yes)) {
        return kFailed;
    }
    if (!OutputCreatable(file)) {
        return kBadInput;
    }
    job.report.set("file", file);
    if (!job.beforeChip()) {
        return kFailed;
    }
    ChipCommands& commands = job.programmer.Commands;
    const CommandResult result =
        job.options.operatorOptions.twice ? commands.ReadTwice(job.chip) : commands.Read(job.chip);
    const int status = job.finished(result);
    if (result != CommandResult::Completed) {
        return status;
    }
    // The chip's whole capacity, as the window's Save writes it.
    const std::uint32_t count = std::min(job.chip.FlashSize, DataBuffer::size());
    job.report.set("start", 0);
    job.report.set("length", count);
    ReportChecksums(job.report, job.programmer.Buffer.data(), count);
    SaveRequest request;
    request.format = job.options.format;
    request.base = job.options.baseChoice == BaseChoice::Given ? job.options.base : 0;
    const int saved = SaveOutput(job.programmer.Buffer, file, count, request, job.prompts);
    if (saved != kDone) {
        job.report.setResult("save-failed");
    }
    return saved != kDone ? saved : status;
}

int RunErase(ChipJob& job) {
    if (!job.beforeChip()) {
        return kFailed;
    }
    return job.finished(job.programmer.Commands.Erase(job.chip));
}

int RunBlank(ChipJob& job) {
    if (!job.beforeChip()) {
        return kFailed;
    }
    job.report.set("start", 0);
    job.report.set("length", job.chip.FlashSize);
    return job.finished(job.programmer.Commands.BlankCheck(job.chip));
}

// Loads the command's file; when it is to be programmed and is longer than
// the chip, asks now, before anything touches the chip, and hands the
// answer on to the engine's own question.
int LoadForChip(ChipJob& job, bool programs) {
    const std::string& file = job.options.args.front();
    job.report.set("file", file);
    if (const int status = LoadInput(job.programmer.Buffer, file, job.options, job.prompts);
        status != kDone) {
        return status;
    }
    const std::uint64_t used = std::uint64_t(job.programmer.Buffer.UsedLength);
    const std::uint32_t page = job.chip.FlashPage;
    const std::uint64_t pages = page == 0 ? used : (used + page - 1) / page * page;
    job.report.set("start", 0);
    job.report.set("length", std::int64_t(std::min<std::uint64_t>(used, job.chip.FlashSize)));
    if (!programs || pages <= job.chip.FlashSize) {
        return kDone;
    }
    const std::string question = Message(Msg::FileLargerThanChip);
    const bool yes = job.prompts.askYesNo(question);
    job.prompts.answered(question, yes);
    if (!yes) {
        job.report.error(Message(Own::ChipUntouched));
        job.report.setResult(ResultWord(CommandResult::Declined));
        return kFailed;
    }
    return kDone;
}

// A verify of a file longer than the chip compared the chip's size only.
void NoteUncompared(ChipJob& job, std::uint64_t used) {
    if (used <= job.chip.FlashSize) {
        return;
    }
    const std::uint64_t left = used - job.chip.FlashSize;
    job.report.set("compared", job.chip.FlashSize);
    job.report.set("not_compared", std::int64_t(left));
    job.report.result(FormatMessage(Own::VerifyComparedPart,
                                    {std::to_string(job.chip.FlashSize), std::to_string(left)}));
}

int RunWrite(ChipJob& job) {
    if (const int status = LoadForChip(job, true); status != kDone) {
        return status;
    }
    if (!job.beforeChip()) {
        return kFailed;
    }
    const CommandResult written = job.programmer.Commands.Write(job.chip);
    if (written != CommandResult::Completed || !job.options.operatorOptions.verifyAfter) {
        return job.finished(written);
    }
    return job.finished(job.programmer.Commands.Verify(job.chip));
}

int RunVerify(ChipJob& job) {
    if (const int status = LoadForChip(job, false); status != kDone) {
        return status;
    }
    if (!job.beforeChip()) {
        return kFailed;
    }
    const std::uint64_t used = std::uint64_t(job.programmer.Buffer.UsedLength);
    if (job.options.operatorOptions.list) {
        job.programmer.Engine.OnDifference = [&job](const ByteDifference& d) {
            job.report.result(DifferenceText(d));
        };
    }
    const CommandResult result = job.programmer.Commands.Verify(job.chip);
    if (result == CommandResult::Completed) {
        NoteUncompared(job, used);
    }
    return job.finished(result);
}

int RunAuto(ChipJob& job) {
    const AutoOptions steps = job.options.autoOptions;
    if (const int status = LoadForChip(job, steps.program); status != kDone) {
        return status;
    }
    if (!job.beforeChip()) {
        return kFailed;
    }
    const std::uint64_t used = std::uint64_t(job.programmer.Buffer.UsedLength);
    const CommandResult result = job.programmer.Commands.Auto(job.chip, steps);
    if (result == CommandResult::Completed && steps.verify) {
        NoteUncompared(job, used);
    }
    return job.finished(result);
}

int RunUnprotect(ChipJob& job) {
    if (!job.beforeChip()) {
        return kFailed;
    }
    return job.finished(job.programmer.Commands.Unprotect(job.chip));
}

int RunChecksum(ChipJob& job) {
    if (!job.beforeChip()) {
        return kFailed;
    }
    const CommandResult result = job.programmer.Commands.Read(job.chip);
    if (result == CommandResult::Completed) {
        const std::uint32_t count = std::min(job.chip.FlashSize, DataBuffer::size());
        ReportChecksums(job.report, job.programmer.Buffer.data(), count);
    }
    return job.finished(result);
}

using ChipRun = int (*)(ChipJob&);

// The commands that run on the chip --chip names. detect is not among
// them: it asks which chip is there.
struct NamedChipRun {
    const char* name;
    ChipRun run;
};

constexpr NamedChipRun kChipRuns[] = {
    {"read", RunRead},           {"erase", RunErase},       {"blank", RunBlank},
    {"write", RunWrite},         {"verify", RunVerify},     {"auto", RunAuto},
    {"unprotect", RunUnprotect}, {"checksum", RunChecksum},
};

ChipRun ChipRunFor(std::string_view name) {
    for (const NamedChipRun& entry : kChipRuns) {
        if (name == entry.name) {
            return entry.run;
        }
    }
    return nullptr;
}

} // namespace

int RunChipCommand(const Options& o, CliPrompts& prompts, CliReport& report) {
    ChipDatabase db;
    if (!LoadDatabase(db, o, prompts)) {
        return kBadInput;
    }
    std::optional<ChipRecord> chip;
    if (o.chip) {
        chip = ResolveChip(db, *o.chip, DatabasePath(o));
        if (!chip) {
            return kBadInput;
        }
        report.set("chip", ChipTriple(*chip));
    }
    const ChipRun run = ChipRunFor(o.command->name);
    if (run == nullptr) {
        return RunDetect(o, db, chip, report);
    }

    // Everything that can be refused is refused before the chip is touched.
    std::string why;
    if (!ChipRecordIsUsable(*chip, &why)) {
        Complain(why);
        return kBadInput;
    }
    // A log that cannot take the row refuses before the programmer is opened.
    ChipLog log(o.production, o.command->name);
    if (!log.open(report)) {
        return kFailed;
    }
    Programmer p(o, report);
    NoteProgrammer(o, p, report);
    // Nothing reaches an output file before the read has ended, so a stopped
    // read leaves no partial output behind.
    StopOnSignals stopper(p.Host);
    p.Commands.setDatabase(&db); // names the part that answers another ID
    ChipJob job{o, prompts, report, *chip, p, &log};
    return run(job);
}

} // namespace vantor
