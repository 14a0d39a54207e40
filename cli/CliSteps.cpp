#include "cli/CliSteps.h"

#include "buffer/Checksum.h"
#include "chipdb/ChipSelection.h"
#include "chipdb/DatabaseFile.h"
#include "cli/ChipLookup.h"
#include "core/MessageTable.h"
#include "link/ChipEngine.h"
#include "link/ConnectionProbe.h"

#include <cstdio>

namespace vantor {

CliReport* TheReport = nullptr;

void Complain(const std::string& text) {
    if (TheReport != nullptr) {
        TheReport->error(text);
    } else {
        std::fprintf(stderr, "vantor-cli: %s\n", text.c_str());
    }
}

FilePlaces WindowPlaces() {
    const std::string self = CurrentExecutablePath();
    const auto slash = self.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : self.substr(0, slash);
    return ResolveFilePlaces(folder + "/vantor");
}

namespace {

std::string DefaultDatabasePath() {
    return WindowPlaces().database;
}

} // namespace

std::string DatabasePath(const Options& o) {
    return o.db.empty() ? DefaultDatabasePath() : o.db;
}

bool LoadDatabase(ChipDatabase& db, const Options& o, CliPrompts& prompts) {
    const std::string path = DatabasePath(o);
    prompts.setSubject(path);
    const DatabaseLoadResult loaded = LoadChipDatabase(
        db, path, [](int, int, int) {}, 0, 0, 0);
    prompts.setSubject({});
    switch (loaded) {
    case DatabaseLoadResult::Loaded:
        // An empty database would make every chip "unknown" without saying why.
        if (ListAllChips(db).empty()) {
            Complain(FormatMessage(Own::DatabaseEmpty, {path}));
            return false;
        }
        return true;
    case DatabaseLoadResult::Missing:
        Complain(CannotOpenFileText(path));
        return false;
    case DatabaseLoadResult::BadSize:
        // Said as a note above; a script under --quiet must see it too.
        Complain(FormatMessage(Own::DatabaseBroken, {path}));
        break;
    case DatabaseLoadResult::CannotOpen:
        break; // already said, with the file's name
    }
    return false;
}

std::optional<ChipRecord> ResolveChip(const ChipDatabase& db, const std::string& text,
                                      const std::string& dbPath) {
    const ChipLookup found = FindChipByName(db, text);
    std::string said;
    switch (found.outcome) {
    case ChipLookup::Outcome::Found:
        return db[found.slot];
    case ChipLookup::Outcome::Ambiguous:
        said = "chip \"" + text + "\" is ambiguous; name one of:";
        break;
    case ChipLookup::Outcome::Unknown:
        said = found.candidates.empty()
                   ? "unknown chip \"" + text + "\" in " + dbPath + " (vantor-cli chips lists them)"
                   : "unknown chip \"" + text + "\" in " + dbPath + "; similar names:";
        break;
    }
    for (const std::string& candidate : found.candidates) {
        said += "\n  " + candidate;
    }
    Complain(said);
    return std::nullopt;
}

namespace {

int ExitFor(CommandResult result) {
    switch (result) {
    case CommandResult::Completed:
        return kDone;
    case CommandResult::UnusableRecord:
    case CommandResult::EmptyBuffer:
        return kBadInput;
    case CommandResult::Refused:
    case CommandResult::NoChip:
    case CommandResult::NoProgrammer:
    case CommandResult::Declined:
    case CommandResult::CheckFailed:
    case CommandResult::Protected:
    case CommandResult::WrongChip:
    case CommandResult::TransferFailed:
        break;
    case CommandResult::Stopped:
        return kStopped;
    }
    return kFailed;
}

} // namespace

const char* ResultWord(CommandResult result) {
    return CommandResultWord(result);
}

const char* AccessWord(ProgrammerSlot::Access access) {
    switch (access) {
    case ProgrammerSlot::Access::Usable:
        return "usable";
    case ProgrammerSlot::Access::NotOurs:
        return "not-a-programmer";
    case ProgrammerSlot::Access::PermissionDenied:
        return "permission-denied";
    case ProgrammerSlot::Access::Busy:
        return "busy";
    case ProgrammerSlot::Access::Unavailable:
        break;
    }
    return "cannot-open";
}

void ReportNoProgrammer(const Options& o, const UsbTransport& link, CliReport& report) {
    report.setResult(ResultWord(CommandResult::NoProgrammer));
    if (const auto& refused = link.refusal(); refused && link.loadError().empty()) {
        report.error(ProgrammerRefusalText(*refused));
        report.setResult(AccessWord(refused->access));
    } else if (o.device && link.loadError().empty()) {
        report.error(FormatMessage(Own::NoChosenProgrammer, {o.deviceText}));
    } else if (!link.loadError().empty()) {
        report.error(NoProgrammerText(link)); // names the library file
    } else {
        report.error(Message(Own::NoProgrammerOnBus));
    }
}

void NoteProgrammer(const Options& o, Programmer& p, CliReport& report) {
    p.Host.onOpened([&o, &p, &report, noted = false]() mutable {
        const auto& opened = p.Link.opened();
        if (noted || !opened) {
            return;
        }
        noted = true;
        report.set("device", opened->location());
        if (!o.device && p.Link.candidatesSeen() > 1) {
            report.note(
                FormatMessage(Own::UsingFirstProgrammer,
                              {opened->location(), std::to_string(p.Link.candidatesSeen())}));
        }
    });
}

int ChipJob::finished(CommandResult result) {
    if (log != nullptr) {
        result = log->after(*this, result);
    }
    report.setResult(ResultWord(result));
    ChipEngine& engine = programmer.Engine;
    if (result == CommandResult::NoProgrammer) {
        ReportNoProgrammer(options, programmer.Link, report);
    }
    if (const auto& failure = engine.failure();
        failure && result == CommandResult::TransferFailed) {
        report.set("failure_address", std::int64_t(failure->address));
    }
    int status = ExitFor(result);
    if (status == kDone && engine.finishFailed()) {
        if (options.strict) {
            report.error(Message(Own::FinishBlockFailed));
            report.setResult("finish-failed");
            status = kFailed;
        } else {
            report.warning(Message(Own::FinishBlockFailed));
        }
    }
    return status;
}

void ReportChecksums(CliReport& report, const std::uint8_t* data, std::size_t count) {
    const Checksums sums = ComputeChecksums(data, count);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", unsigned(sums.crc32));
    report.set("crc32", crc);
    report.set("sum", std::int64_t(sums.sum));
    report.result(ChecksumText(sums));
}

} // namespace vantor
