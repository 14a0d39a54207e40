#pragma once
// Finds the chip record a command-line argument names: a chip name alone
// (letter case ignored) or "Type,Maker,Name"; and the records a search text
// names.
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"

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
// show them once and select the first). A name that no record carries also
// finds the one chip whose name, without its maker's suffix (an ordering
// suffix after a hyphen, then trailing letters), it is: "ZB25VQ64" finds
// ZB25VQ64A when no other chip reduces to ZB25VQ64.
ChipLookup FindChipByName(const ChipDatabase& db, std::string_view text);

// The part of a chip name in front of its maker's suffix letters.
std::string NameWithoutSuffix(std::string_view name);

// Records whose NameText holds `search` (trimmed) in any letter case, in
// slot order; an empty search finds nothing. The find dialog keeps its own,
// case-sensitive rule (FindChips).
std::vector<ChipListRow> FindChipsAnyCase(const ChipDatabase& db, std::string_view search);

} // namespace vantor
