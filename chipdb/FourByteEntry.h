#pragma once
// How an SPI NOR flash above 16 MiB is switched to 4-byte addresses. Makers
// differ: most take a bare B7h, Micron and XMC want a write enable first,
// Spansion's FL-S parts ignore B7h and take bit 7 of their bank register.
// The method is a fact of the part, kept in the chip source list beside its
// other facts; the database file's record has no room for it, so the build
// turns the list's column into a table looked up by JEDEC ID.
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

enum class FourByteEntry : std::uint8_t {
    None,          // 16 MiB or less, or not SPI flash: never switched
    EnterB7,       // B7h
    WriteEnableB7, // 06h, then B7h
    BankRegister,  // 17h 80h: bank register write with the extended-address bit
    Unknown,       // not stated by a source: driven as WriteEnableB7
};

// The source list's spelling: "", "B7", "06 B7", "17 80", "unknown".
bool ParseFourByteEntry(std::string_view text, FourByteEntry* out);
std::string FourByteEntryText(FourByteEntry entry);

// What the engine sends: the stated method, WriteEnableB7 where none is
// stated (the write enable is harmless to parts that do not need it).
FourByteEntry DrivenFourByteEntry(FourByteEntry stated);

// The method the shipped list states for a JEDEC ID above 16 MiB; Unknown
// for an ID it does not list (a record the user added). Generated at build
// time from the list.
FourByteEntry ShippedFourByteEntry(std::uint32_t chipId);

} // namespace vantor
