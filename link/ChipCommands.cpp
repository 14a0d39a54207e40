#include "link/ChipCommands.h"

#include "buffer/DataBuffer.h"
#include "chipdb/ChipDetection.h"
#include "chipdb/ChipSourceList.h"
#include "chipdb/NameText.h"
#include "core/MessageTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace vantor {

const char* CommandResultWord(CommandResult result) {
    switch (result) {
    case CommandResult::Completed:
        return "completed";
    case CommandResult::Refused:
        return "refused";
    case CommandResult::UnusableRecord:
        return "unusable-record";
    case CommandResult::EmptyBuffer:
        return "empty-file";
    case CommandResult::NoChip:
        return "no-chip";
    case CommandResult::NoProgrammer:
        return "no-programmer";
    case CommandResult::Declined:
        return "declined";
    case CommandResult::CheckFailed:
        return "check-failed";
    case CommandResult::Protected:
        return "protected";
    case CommandResult::WrongChip:
        return "wrong-chip";
    case CommandResult::Stopped:
        return "stopped";
    case CommandResult::TransferFailed:
        break;
    }
    return "transfer-failed";
}

namespace {

constexpr long long kMillisecondsPerDay = 86400000;

// 25- and 95-series EEPROMs give no useful ID: Read and Write skip the
// presence check for them.
bool AnswersId(const ChipRecord& chip) {
    return chip.Family < ChipFamily::Eeprom25;
}

// An SPI flash that drives nothing reads all 0s or all 1s: no answer, as
// from an empty socket, and no reason to doubt the selection.
bool IsRealId(std::uint32_t id) {
    return id != 0 && id != 0xFFFFFF;
}

std::string IdText(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", unsigned(id));
    return text;
}

} // namespace

double LocalTimeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const double fraction =
        std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(seconds))
            .count();
    return (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction) / 86400.0;
}

double EngineHost::timeOfDay() const {
    return LocalTimeOfDay();
}

bool EngineHost::confirmWrongChip(const WrongChipFacts& facts) {
    return askYesNo(FormatMessage(Own::WrongChipAsk, {facts.answeredId, facts.answeredPart,
                                                      facts.selectedPart, facts.selectedId}));
}

std::string ElapsedText(double startTime, double stopTime) {
    double difference = stopTime - startTime;
    if (difference < 0) {
        difference += 1.0; // stopped on the next day
    }
    long long ms = std::llround(difference * double(kMillisecondsPerDay)) % kMillisecondsPerDay;
    if (ms < 0) {
        ms = 0;
    }
    const long long seconds = ms / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

// Marks the command as running for its whole length. A command asked for
// while another runs is not entered at all. On the way out the programmer is
// never left open, whatever path led there.
class ChipCommands::Running {
public:
    explicit Running(ChipCommands& commands) : Commands(commands), Entered(!commands.Busy) {
        if (Entered) {
            Commands.Busy = true;
        }
    }
    ~Running() {
        if (!Entered) {
            return;
        }
        if (Commands.Engine.holdsProgrammer()) {
            Commands.Engine.CloseProgrammer();
        }
        Commands.Busy = false;
        // A stop asked for before the start (a signal while a file loaded)
        // counts; one left over after the end does not.
        Commands.Host.clearStopRequest();
        Commands.Host.chipCommandEnded();
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
    bool entered() const { return Entered; }

private:
    ChipCommands& Commands;
    bool Entered;
};

bool ChipCommands::usable(const ChipRecord& chip) {
    // Refused before anything opens the programmer: such a record would move
    // data outside the buffer, or erase with a page that never advances.
    std::string why;
    if (ChipRecordIsUsable(chip, &why)) {
        return true;
    }
    Host.showError(why);
    return false;
}

bool ChipCommands::bufferReady() {
    Host.syncBufferFromEditor();
    if (Engine.buffer().UsedLength != 0) {
        return true;
    }
    Host.showError(Message(Msg::BufferEmpty));
    return false;
}

bool ChipCommands::chipPresent(const ChipRecord& chip, CommandResult& result) {
    std::uint8_t reply[4] = {};
    const int answered = Engine.ReadChipId(chip, reply);
    if (answered == 0 && Engine.stopped()) {
        result = CommandResult::Stopped;
        return false;
    }
    if (answered == 0 && Engine.failed()) {
        // The programmer was there but the exchange broke off.
        Host.showError(TransferFailureText(*Engine.failure()));
        result = CommandResult::TransferFailed;
        return false;
    }
    if (answered != 0 && reply[0] == kIdNoChip) {
        Host.showError(Message(Msg::NoChip));
        result = CommandResult::NoChip;
        return false;
    }
    const std::uint32_t id =
        (std::uint32_t(reply[1]) << 16) | (std::uint32_t(reply[2]) << 8) | reply[3];
    if (answered != 0 && reply[0] == kIdJedec && chip.Family == ChipFamily::SpiFlash25 &&
        chip.ChipId != 0 && IsRealId(id) && !idFitsChip(chip, id) && !goOnWithOtherChip(chip, id)) {
        result = CommandResult::WrongChip;
        return false;
    }
    return true; // no programmer: opening reports it
}

bool ChipCommands::idFitsChip(const ChipRecord& chip, std::uint32_t id) const {
    if (chip.ChipId == id) {
        return true;
    }
    // A part listed under one name with several IDs (revisions) fits any.
    if (Database == nullptr) {
        return false;
    }
    const std::string name = FoldAsciiCase(NamesOf(chip).name);
    for (int i = 0; i < Database->RecordCount(); ++i) {
        const ChipRecord& r = (*Database)[i];
        if (r.ChipId == id && FoldAsciiCase(NamesOf(r).name) == name) {
            return true;
        }
    }
    return false;
}

bool ChipCommands::goOnWithOtherChip(const ChipRecord& chip, std::uint32_t id) {
    WrongChipFacts facts;
    facts.answeredId = IdText(id);
    const int slot = Database != nullptr ? FindChipById(*Database, id) : -1;
    facts.answeredPart =
        slot >= 0 ? PartText((*Database)[slot], CurrentLanguage()) : Message(Own::PartNotListed);
    facts.selectedPart = PartText(chip, CurrentLanguage());
    facts.selectedId = IdText(chip.ChipId);
    return Host.confirmWrongChip(facts);
}

CommandResult ChipCommands::tookEffect(int passed) {
    if (Engine.failed()) {
        return failure();
    }
    if (passed != 0) {
        return CommandResult::Completed;
    }
    stop(); // a failed check is timed, as the checks of Verify and Blank are
    return Engine.lastTakeCheck() == TakeCheck::Untouched ? CommandResult::Protected
                                                          : CommandResult::CheckFailed;
}

bool ChipCommands::isOpen(int openResult) {
    return openResult == 1 || openResult == 4 || openResult == 6;
}

void ChipCommands::start() {
    StartTime = Host.timeOfDay();
    Host.setStartTime(StartTime);
}

void ChipCommands::stop() {
    StopTime = Host.timeOfDay();
    Host.setStopTime(StopTime);
    Host.setElapsedText(ElapsedText(StartTime, StopTime));
    Host.beep();
}

template <typename Operation, typename AfterClose>
CommandResult ChipCommands::run(const ChipRecord& record, Steps steps, Operation operation,
                                AfterClose afterClose) {
    Running running(*this);
    if (!running.entered()) {
        return CommandResult::Refused;
    }
    const ChipRecord chip = record;
    Engine.ProtectionHint = AfterChange;
    AfterChange = false;
    if (!usable(chip)) {
        return CommandResult::UnusableRecord;
    }
    if (steps.takesBuffer && !bufferReady()) {
        return CommandResult::EmptyBuffer;
    }
    CommandResult result = CommandResult::Completed;
    if (Engine.stopBeforeStart(EngineStep::ChipSetup)) {
        return CommandResult::Stopped; // asked before the start: nothing is sent
    }
    if (steps.checksPresence && !chipPresent(chip, result)) {
        return result;
    }
    if (isOpen(Engine.OpenProgrammer(chip))) {
        // A failed transfer has been shown where it happened; the command
        // then ends untimed, without beep or log line.
        if (Engine.failed()) {
            result = failure();
        } else {
            start();
            result = operation(chip);
        }
    } else {
        result = CommandResult::NoProgrammer;
    }
    Engine.CloseProgrammer();
    afterClose(result);
    return result;
}

template <typename Operation>
CommandResult ChipCommands::run(const ChipRecord& record, Steps steps, Operation operation) {
    return run(record, steps, operation, [](CommandResult) {});
}

CommandResult ChipCommands::logged(int message) {
    Host.logLine(Message(message));
    return CommandResult::Completed;
}

void ChipCommands::sayIfChipEmpty(CommandResult result) {
    if (result == CommandResult::Completed && Engine.buffer().UsedLength == 0) {
        Host.showError(Message(Msg::ChipEmpty));
    }
}

CommandResult ChipCommands::failure() const {
    return Engine.stopped() ? CommandResult::Stopped : CommandResult::TransferFailed;
}

CommandResult ChipCommands::checked(int passed, int message) {
    // The line comes before the time; a failed check is timed all the same.
    const CommandResult result = passed != 0 ? logged(message) : CommandResult::CheckFailed;
    stop();
    return result;
}

CommandResult ChipCommands::Read(const ChipRecord& record) {
    return run(
        record, {false, AnswersId(record)},
        [this](const ChipRecord& chip) {
            Engine.ReadChip(chip);
            if (Engine.failed()) {
                return failure();
            }
            stop();
            return logged(Msg::ReadComplete);
        },
        [this](CommandResult result) { sayIfChipEmpty(result); });
}

CommandResult ChipCommands::Erase(const ChipRecord& record) {
    return run(record, {false, true}, [this](const ChipRecord& chip) {
        Engine.EraseChip(chip);
        if (Engine.failed()) {
            return failure();
        }
        AfterChange = true;
        const CommandResult took = tookEffect(Engine.CheckErased(chip));
        if (took != CommandResult::Completed) {
            return took;
        }
        stop();
        return logged(Msg::EraseComplete);
    });
}

CommandResult ChipCommands::Write(const ChipRecord& record) {
    return run(record, {true, AnswersId(record)}, [this](const ChipRecord& chip) {
        const int written = Engine.WriteChip(chip);
        if (Engine.failed()) {
            return failure();
        }
        AfterChange = written != 0;
        if (written != 0) {
            const CommandResult took = tookEffect(Engine.CheckWritten(chip));
            if (took != CommandResult::Completed) {
                return took;
            }
        }
        stop(); // a declined write is timed too, but not logged
        return written != 0 ? logged(Msg::WriteComplete) : CommandResult::Declined;
    });
}

CommandResult ChipCommands::Verify(const ChipRecord& record) {
    return run(record, {true, true}, [this](const ChipRecord& chip) {
        const int equal = Engine.VerifyChip(chip);
        return Engine.failed() ? failure() : checked(equal, Msg::VerifyComplete);
    });
}

CommandResult ChipCommands::BlankCheck(const ChipRecord& record) {
    return run(record, {false, true}, [this](const ChipRecord& chip) {
        const int blank = Engine.BlankCheckChip(chip);
        return Engine.failed() ? failure() : checked(blank, Msg::BlankComplete);
    });
}

CommandResult ChipCommands::Auto(const ChipRecord& record, AutoOptions options) {
    return run(record, {true, true}, [this, options](const ChipRecord& chip) {
        if (options.unprotect && Engine.UnprotectChip(chip) == 0) {
            return Engine.failed() ? failure() : CommandResult::UnusableRecord;
        }
        Engine.ProtectionHint = Engine.ProtectionHint || options.erase || options.program;
        if (options.erase) {
            Engine.EraseChip(chip);
            if (Engine.failed()) {
                return failure();
            }
            // A chip that ignored the erase fails here, before it is written.
            const CommandResult took = tookEffect(Engine.CheckErased(chip));
            if (took != CommandResult::Completed) {
                return took;
            }
        }
        if (options.program) {
            const int written = Engine.WriteChip(chip);
            if (Engine.failed()) {
                return failure();
            }
            if (written == 0) {
                return CommandResult::Declined; // the run stops here, untimed and silent
            }
            if (!options.verify) { // a verify follows otherwise, reading it all
                const CommandResult took = tookEffect(Engine.CheckWritten(chip));
                if (took != CommandResult::Completed) {
                    return took;
                }
            }
        }
        if (!options.verify) {
            stop();
            return CommandResult::Completed;
        }
        Engine.wait(Engine.Timings.autoVerifyPause);
        const int equal = Engine.VerifyChip(chip);
        return Engine.failed() ? failure() : checked(equal, Msg::AutoComplete);
    });
}

CommandResult ChipCommands::ReadTwice(const ChipRecord& record) {
    return run(
        record, {false, AnswersId(record)},
        [this](const ChipRecord& chip) {
            const std::uint8_t* data = Engine.buffer().data();
            std::vector<std::uint8_t> first;
            for (int pass = 0; pass < 2; ++pass) {
                Engine.ReadChip(chip);
                if (Engine.failed()) {
                    return failure();
                }
                if (pass == 0) {
                    first.assign(data, data + chip.FlashSize); // the second read compares
                }
            }
            const auto [one, two] = std::mismatch(first.begin(), first.end(), data);
            if (one != first.end()) {
                Host.showError(Message(Own::ReadsDiffer) +
                               HexAddressText(std::uint32_t(one - first.begin())));
                stop();
                return CommandResult::CheckFailed;
            }
            stop();
            return logged(Own::ReadsMatch);
        },
        [this](CommandResult result) { sayIfChipEmpty(result); });
}

CommandResult ChipCommands::Unprotect(const ChipRecord& record) {
    if (record.Family != ChipFamily::SpiFlash25 && !Busy) {
        Host.showError(Message(Own::UnprotectSpiFlashOnly));
        return CommandResult::UnusableRecord;
    }
    return run(record, {false, true}, [this](const ChipRecord& chip) {
        if (Engine.UnprotectChip(chip) == 0) {
            return failure();
        }
        stop();
        return CommandResult::Completed;
    });
}

} // namespace vantor
