#pragma once
// The readable source list the shipped chip database is generated from, and
// the rules every shipped database keeps.
//
// Source list: UTF-8 text, one record per line, fields separated by commas;
// blank lines and lines starting with '#' are ignored. The first other line
// is the header and must read exactly
//   type,maker,name,chip_id,size,page,family,subtype,delay,voltage,addr4,source
// chip_id   hexadecimal ("EF4016"; "0" for chips without an ID)
// size      bytes, or with a K / M suffix for KiB / MiB ("128", "4K", "8M")
// page      bytes
// family    0..4; subtype, delay: decimal
// voltage   "3.3V", "1.8V" or "5.0V"
// addr4     SPI flash above 16 MiB: how it enters 4-byte addressing, "B7",
//           "06 B7", "17 80" or "unknown" (see chipdb/FourByteEntry.h);
//           empty for every other record
// source    the datasheet or public ID table the facts come from (free text
//           without commas; not stored in the database)
#include "chipdb/ChipRecord.h"
#include "chipdb/FourByteEntry.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantor {

inline constexpr const char* kChipSourceHeader =
    "type,maker,name,chip_id,size,page,family,subtype,delay,voltage,addr4,source";

// Parses the list. Every line that cannot be read adds an error naming its
// line number; returns true when there were none. `entries`, when given,
// receives each record's addr4 column, in step with `records`.
bool ParseChipSourceList(std::string_view text, std::vector<ChipRecord>* records,
                         std::vector<std::string>* errors,
                         std::vector<FourByteEntry>* entries = nullptr);

// The SubType a size implies for families 1, 3 and 4 (24-series: 0 below
// 4 KB, 1 from 4 KB; 25- and 95-series: 0 up to 512 B, 1 up to 64 KB, 2
// above); -1 for the families whose SubType is not a matter of size.
int SizeSubType(int family, std::uint32_t size);

// Checks the rules of a shipped database over its records in use:
// - families 0..4 in non-decreasing order, with 0, 1 and 2 present, so the
//   first three types in the type box are SPI flash, 24-series, 93-series;
// - one type name per family, different for every family;
// - type, maker and chip names present and free of blanks, control bytes,
//   commas and double quotes; maker and chip names of ASCII letters, digits
//   and hyphens only (as marked or ordered, no patterns); the joined NameText
//   at most 47 GBK bytes;
// - no chip name twice (letter case ignored), and no type or maker name that
//   differs from another only in letter case (the boxes could not reach it);
// - FlashSize a power of two from 64 B to 64 MiB, FlashPage a power of two
//   from 1 to 256 and not above FlashSize;
// - SubType valid for the family (and matching the size where it follows
//   from it), Voltage 0..2, Delay not 0, a JEDEC ID for SPI flash only;
// - at most 999 records, so the terminator slot fits;
// - the JEDEC facts of CheckJedecFacts.
// Returns the broken rules, one text each; empty when all hold.
std::vector<std::string> CheckShippedRules(const std::vector<ChipRecord>& records);
// The same, and the rules of the addr4 column (CheckFourByteEntries).
std::vector<std::string> CheckShippedRules(const std::vector<ChipRecord>& records,
                                           const std::vector<FourByteEntry>& entries);

// Every SPI flash above 16 MiB states its 4-byte entry (or "unknown"), no
// other record states one, and the records of one ID agree (the engine looks
// the method up by ID).
std::vector<std::string> CheckFourByteEntries(const std::vector<ChipRecord>& records,
                                              const std::vector<FourByteEntry>& entries);

// The lines of the generated entry table: "{0xC84019, FourByteEntry::EnterB7},"
// for each ID above 16 MiB whose method is stated, sorted by ID.
std::string FourByteEntryTable(const std::vector<ChipRecord>& records,
                               const std::vector<FourByteEntry>& entries);

// The capacity a JEDEC ID states, for makers whose scheme puts log2 of the
// size in the last ID byte (Winbond, GigaDevice, Macronix, Micron/ST/XMC,
// Eon, ISSI, Puya, XTX, Boya, ...); 0 where the maker's scheme says nothing
// about it (Atmel/Adesto, SST, Spansion's older parts, Sanyo, Intel, ESMT).
std::uint32_t CapacityFromJedecId(std::uint32_t chipId);

// IDs whose parts break one of the JEDEC rules below for a known reason.
struct JedecException {
    std::uint32_t chipId;
    const char* reason;
};
const std::vector<JedecException>& KnownJedecExceptions();

// The facts of the SPI flash records that detection relies on, unless the
// ID is a known exception:
// - where the ID states the capacity, the size agrees with it;
// - all records of one ID have the same size and page (detection takes the
//   first; a different size would read or write half a chip), unless the ID
//   is a known exception: then detection names them all and asks.
std::vector<std::string> CheckJedecFacts(const std::vector<ChipRecord>& records);

// The records in use of a database.
std::vector<ChipRecord> RecordsInUse(const ChipDatabase& db);

// The three trimmed names of a record (type, maker, chip), UTF-8.
struct ChipNames {
    std::string type, maker, name;
};
ChipNames NamesOf(const ChipRecord& record);

} // namespace vantor
