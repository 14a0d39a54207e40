#include "cli/ProductionLog.h"

#include "buffer/Checksum.h"
#include "cli/ChipLookup.h"
#include "cli/CliJob.h"
#include "cli/CliReport.h"
#include "cli/CommandTable.h"
#include "core/MessageTable.h"
#include "production/LogReport.h"

#include <cstdio>

namespace vantor {
namespace {

bool Programs(const ChipJob& job, const std::string& name) {
    return name == "write" || (name == "auto" && job.options.autoOptions.program);
}

bool Verifies(const ChipJob& job, const std::string& name) {
    return name == "verify" || (name == "auto" && job.options.autoOptions.verify);
}

bool TakesFile(const std::string& command) {
    return command == "write" || command == "verify" || command == "auto";
}

} // namespace

bool ParseProductionOption(const std::string& name, const std::function<std::string()>& value,
                           const std::function<void()>& flag, ProductionOptions& o,
                           std::string& error) {
    if (name == "--log-db") {
        o.logDb = value();
        if (o.logDb.empty()) {
            error = "--log-db needs a file or a postgresql:// URL";
        }
    } else if (name == "--serial") {
        o.serial = SerialField::parse(value(), &error);
    } else if (name == "--serial-start" || name == "--serial-step") {
        const std::string text = value();
        const auto number = ParseSerialNumber(text);
        if (!number || (name == "--serial-step" && *number == 0)) {
            error = name + " must be " + (name == "--serial-step" ? "1" : "0") +
                    " to 0x7FFFFFFFFFFFFFFE (decimal or 0x hex), not \"" + text + "\"";
        } else {
            (name == "--serial-start" ? o.serialStart : o.serialStep) = *number;
            o.serialNumbersGiven = true;
        }
    } else if (name == "--since") {
        const std::string text = value();
        const auto since = NormalizeLogSince(text);
        if (!since) {
            error = "--since takes a date (2026-12-08) or a UTC time (2026-12-08T09:00), not \"" +
                    text + "\"";
        } else {
            o.since = *since;
        }
    } else if (name == "--csv") {
        flag();
        o.csv = true;
    } else {
        return false;
    }
    return true;
}

std::string ProductionOptionMisuse(const CommandSpec& c, const ProductionOptions& o) {
    const std::string command = c.name;
    if ((!o.since.empty() || o.csv) && !c.takes("--since")) {
        return "--since and --csv belong to log";
    }
    if (o.serial && !c.takes("--serial")) {
        return "--serial belongs to write, verify and auto";
    }
    if (o.serialNumbersGiven && !o.serial) {
        return "--serial-start and --serial-step need --serial";
    }
    if (o.serial && o.logDb.empty()) {
        return "--serial needs --log-db: the log keeps the numbers given out";
    }
    if (command == "log" && o.logDb.empty()) {
        return "log needs --log-db FILE|URL";
    }
    return {};
}

int RunLogCommand(const ProductionOptions& o, CliReport& report) {
    std::string why;
    const auto store = OpenLogStore(o.logDb, why);
    if (!store) {
        report.error(FormatMessage(Own::LogOpenFailed, {why}));
        report.setResult("log-failed");
        return 1;
    }
    if (o.csv) {
        const auto rows = store->rows(o.since);
        if (!rows) {
            report.error(store->error());
            return 1;
        }
        std::fputs(RowsCsv(*rows).c_str(), stdout);
        report.set("rows", std::int64_t(rows->size()));
        return 0;
    }
    const auto summary = store->summary(o.since);
    if (!summary) {
        report.error(store->error());
        report.setResult("log-failed");
        return 1;
    }
    if (report.mode() == CliReport::Mode::Json) {
        report.setRaw("log", SummaryJson(*summary));
    } else {
        std::fputs(SummaryText(*summary).c_str(), stdout);
    }
    return 0;
}

bool ChipLog::open(CliReport& report) {
    if (Options.logDb.empty()) {
        return true;
    }
    std::string why;
    Store = OpenLogStore(Options.logDb, why);
    if (!Store) {
        report.error(FormatMessage(Own::LogRefused, {why}) + " " + Message(Own::ChipUntouched));
        report.setResult("log-refused");
        return false;
    }
    return true;
}

bool ChipLog::before(ChipJob& job) {
    if (!Store) {
        return true;
    }
    const std::string& command = Command;
    DataBuffer& buffer = job.programmer.Buffer;
    OperationStart s = StartOfCommand(command, ChipTriple(job.chip), job.chip.ChipId);
    if (TakesFile(command)) {
        const auto used = std::size_t(std::max(buffer.UsedLength, 0));
        s.file = job.options.args.front();
        s.fileSize = std::int64_t(used);
        s.fileCrc32 = Crc32(buffer.data(), used);
    }
    SerialUse use = SerialUse::None;
    if (Options.serial) {
        s.serial = SerialSeries{*Options.serial, Options.serialStart, Options.serialStep};
        use = Programs(job, command)   ? SerialUse::Write
              : Verifies(job, command) ? SerialUse::Check
                                       : SerialUse::None;
    }
    Run.emplace(*Store);
    if (!Run->start(s, use,
                    ChipImage{buffer.data(), buffer.UsedLength, job.chip.FlashSize,
                              Programs(job, command)})) {
        job.report.error(FormatMessage(Own::LogRefused, {Run->why()}) + " " +
                         Message(Own::ChipUntouched));
        job.report.setResult("log-refused");
        Run.reset();
        return false;
    }
    if (const auto serial = Run->serial()) {
        job.report.set("serial", Options.serial->show(*serial));
        job.report.note(FormatMessage(Own::SerialWritten,
                                      {Options.serial->show(*serial), Options.serial->key()}));
    }
    if (use == SerialUse::Check) {
        ReadBack.emplace(*Options.serial, buffer.data());
        job.programmer.Engine.BeforeCompare =
            [this](std::uint32_t address, const std::uint8_t* chip, std::uint32_t count) {
                ReadBack->take(address, chip, count);
            };
    }
    return true;
}

CommandResult ChipLog::after(ChipJob& job, CommandResult result) {
    if (!Run) {
        return result;
    }
    job.programmer.Engine.BeforeCompare = nullptr;
    std::optional<std::uint64_t> found;
    if (ReadBack && result == CommandResult::Completed) {
        found = ReadBack->value();
        if (found) {
            job.report.set("serial", Options.serial->show(*found));
            job.report.result(FormatMessage(Own::SerialOnChip, {Options.serial->show(*found)}));
        } else {
            job.report.error(FormatMessage(Own::SerialNotOnChip, {Options.serial->key()}));
            result = CommandResult::CheckFailed;
        }
    }
    OperationEnd end = EndOfCommand(result, job.programmer.Engine, job.programmer.Link);
    end.serial = found;
    if (!Run->finish(end)) {
        job.report.warning(FormatMessage(Own::LogNotCompleted, {Run->why()}));
    }
    Run.reset();
    return result;
}

} // namespace vantor
