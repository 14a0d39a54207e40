#pragma once
// The six chip commands (Read, Erase, Write, Verify, Auto, blank check) as
// the user starts them: the checks before the chip is touched, the opening
// and closing of the programmer around the chip operations, the timing and
// what is reported in boxes, in the log and in the status bar. One set of
// functions for the window, the command-line front end and the tests.
//
// Only one command runs at a time. The operations hand control to the front
// end between transfers, so a second command can be asked for meanwhile
// (from the menu, a key, a script); it is refused: Refused is returned and
// nothing is shown or sent. Front ends that can, also grey out what would
// ask (EngineHost::setLocked).
#include "chipdb/ChipRecord.h"
#include "link/ChipEngine.h"

#include <cstdint>

#include <string>

namespace vantor {

enum class CommandResult {
    Completed,      // the operation ran to its end and its check passed
    Refused,        // another chip command is running
    UnusableRecord, // the record's size or page is outside what we can serve
    EmptyBuffer,    // nothing to write or verify (message 27)
    NoChip,         // the programmer answered, no chip did (message 3)
    NoProgrammer,   // no programmer found (message 13)
    Declined,       // the user declined writing more than the chip holds
    CheckFailed,    // not blank, verify found a difference, a write did not read back
    Protected,      // erased or written cells did not change: write protection
    WrongChip,      // the chip answers another ID and going on was declined
    TransferFailed, // a transfer failed or came back short
    Stopped,        // the user stopped it (logged with the address reached)
};

// The word scripts and the production log know a result by ("completed",
// "check-failed" ...).
const char* CommandResultWord(CommandResult result);

// The boxes of the Auto Options group.
struct AutoOptions {
    bool erase = true;
    bool program = true;
    bool verify = true;
    bool unprotect = false; // SPI flash: clear the write protection first
};

// The elapsed time between two times of day (fractions of a day) as
// "hh:mm:ss". A stop time before the start time means the operation ran
// across midnight: a day is added. Hours wrap after a day.
std::string ElapsedText(double startTime, double stopTime);

class ChipCommands {
public:
    ChipCommands(ChipEngine& engine, EngineHost& host) : Engine(engine), Host(host) {}
    ChipCommands(const ChipCommands&) = delete;
    ChipCommands& operator=(const ChipCommands&) = delete;

    // Each takes the current chip record (copied: the record in the database
    // may change while the command lets the window run).
    CommandResult Read(const ChipRecord& chip);
    CommandResult Erase(const ChipRecord& chip);
    CommandResult Write(const ChipRecord& chip);
    CommandResult Verify(const ChipRecord& chip);
    CommandResult BlankCheck(const ChipRecord& chip);
    CommandResult Auto(const ChipRecord& chip, AutoOptions options);
    // Reads the chip twice with the programmer opened once; a difference
    // between the two reads fails (CheckFailed) naming its first address.
    CommandResult ReadTwice(const ChipRecord& chip);
    // Clears an SPI flash's write protection; other families are refused
    // (UnusableRecord) before the programmer is opened.
    CommandResult Unprotect(const ChipRecord& chip);

    // True while a command runs, from its first check to its last box.
    bool busy() const { return Busy; }

    // The database the selected record comes from (not owned; may be null).
    // Before an SPI flash operation the chip's ID is checked against every
    // record with the selected chip's name, and the part that answers is
    // named from it.
    void setDatabase(const ChipDatabase* database) { Database = database; }

    // Times of day (fractions of a day) of the last timed operation.
    double StartTime = 0;
    double StopTime = 0;

    ChipEngine& engine() { return Engine; }

private:
    class Running;
    // What a command does before it opens the programmer.
    struct Steps {
        bool takesBuffer;    // edits into the buffer, and nothing to send is refused
        bool checksPresence; // the ID request first
    };
    // The frame every command shares: refusal while another runs, record
    // check, buffer, presence, open, start time, `operation`, close, then
    // `afterClose` with the result.
    template <typename Operation, typename AfterClose>
    CommandResult run(const ChipRecord& record, Steps steps, Operation operation,
                      AfterClose afterClose);
    template <typename Operation>
    CommandResult run(const ChipRecord& record, Steps steps, Operation operation);
    bool usable(const ChipRecord& chip);
    bool bufferReady();
    // Returns false when the command must end here (no chip, a failed
    // exchange, or another chip that the user would not go on with; all
    // already reported).
    bool chipPresent(const ChipRecord& chip, CommandResult& result);
    bool idFitsChip(const ChipRecord& chip, std::uint32_t id) const;
    bool goOnWithOtherChip(const ChipRecord& chip, std::uint32_t id);
    // The check after an erase or write: Completed, or how it failed.
    CommandResult tookEffect(int passed);
    static bool isOpen(int openResult);
    void start();
    void stop();
    CommandResult logged(int message);
    CommandResult checked(int passed, int message);
    CommandResult failure() const;
    // After a read: message 24 when the chip held nothing but 0xFF.
    void sayIfChipEmpty(CommandResult result);

    ChipEngine& Engine;
    EngineHost& Host;
    const ChipDatabase* Database = nullptr;
    bool Busy = false;
    // The last command erased or wrote: a check that fails next may be
    // meeting a write-protected chip.
    bool AfterChange = false;
};

} // namespace vantor
