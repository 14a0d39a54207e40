#pragma once
// Finds the chip record a command-line argument names: a chip name alone
// (letter case ignored) or "Type,Maker,Name".
#include "chipdb/ChipRecord.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// The record's three names, trimmed, joined by commas: the form `chips`
// prints and `--chip` accepts.
std::string ChipTriple(const ChipRecord& record);

struct ChipLookup {
    enum class Outcome { Found, Unknown, Ambiguous };
    Outcome outcome = Outcome::Unknown;
    int slot = -1; // Found: the first slot holding the chip
    // Ambiguous: every chip the text names; Unknown: chips whose name holds
    // the text (letter case ignored), at most kMaxCandidates.
    std::vector<std::string> candidates;
};

inline constexpr std::size_t kMaxCandidates = 20;

// Several slots with the same three names are one chip (the window's boxes
// show them once and select the first).
ChipLookup FindChipByName(const ChipDatabase& db, std::string_view text);

} // namespace vantor
