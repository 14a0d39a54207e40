#pragma once
// Steps the commands share: saying what went wrong, finding the database
// and the chip --chip names, and telling the report about the programmer
// and the result.
#include "chipdb/ChipRecord.h"
#include "cli/CliHost.h"
#include "cli/CliJob.h"
#include "cli/CliReport.h"
#include "core/FilePlaces.h"
#include "link/ChipCommands.h"
#include "link/UsbTransport.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantor {

// The running command's report; null while the options are parsed.
extern CliReport* TheReport;

// An error: to the running command's report, or straight to stderr before
// there is one.
void Complain(const std::string& text);

// The window's places, for the "vantor" beside this executable: the same
// files for both.
FilePlaces WindowPlaces();

// Loads --db, or the window's database; false after saying why not.
bool LoadDatabase(ChipDatabase& db, const Options& o, CliPrompts& prompts);

// Finds the record --chip names; reports and returns nullopt when there is
// none or more than one.
std::optional<ChipRecord> ResolveChip(const ChipDatabase& db, const std::string& text,
                                      const std::string& dbPath);
// The database --db names, else the default one.
std::string DatabasePath(const Options& o);

// The word the JSON object's "result" holds for an engine command's result.
const char* ResultWord(CommandResult result);

// Says why no programmer was opened, in the same words and with the same
// result word for every command: a USB library that would not load (named),
// a programmer present but refused ("permission-denied", "busy"), none at
// the place --device named, or none on the bus ("no-programmer").
void ReportNoProgrammer(const Options& o, const UsbTransport& link, CliReport& report);
// The word for a programmer's access ("usable", "permission-denied" ...).
const char* AccessWord(ProgrammerSlot::Access access);

// Names the programmer in the report at its first open; says which one was
// taken when there was a choice and none was made.
void NoteProgrammer(const Options& o, Programmer& p, CliReport& report);

// The CRC-32 and byte sum of `count` bytes: a result line, and two fields of
// the JSON object.
void ReportChecksums(CliReport& report, const std::uint8_t* data, std::size_t count);

} // namespace vantor
