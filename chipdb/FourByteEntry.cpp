#include "chipdb/FourByteEntry.h"

namespace vantor {
namespace {

struct Spelling {
    FourByteEntry entry;
    std::string_view text;
};

constexpr Spelling kSpellings[] = {
    {FourByteEntry::None, ""},
    {FourByteEntry::EnterB7, "B7"},
    {FourByteEntry::WriteEnableB7, "06 B7"},
    {FourByteEntry::BankRegister, "17 80"},
    {FourByteEntry::Unknown, "unknown"},
};

} // namespace

bool ParseFourByteEntry(std::string_view text, FourByteEntry* out) {
    for (const Spelling& s : kSpellings) {
        if (s.text == text) {
            *out = s.entry;
            return true;
        }
    }
    return false;
}

std::string FourByteEntryText(FourByteEntry entry) {
    for (const Spelling& s : kSpellings) {
        if (s.entry == entry) {
            return std::string(s.text);
        }
    }
    return {};
}

FourByteEntry DrivenFourByteEntry(FourByteEntry stated) {
    return stated == FourByteEntry::Unknown || stated == FourByteEntry::None
               ? FourByteEntry::WriteEnableB7
               : stated;
}

} // namespace vantor
