#include "cli/ChipLookup.h"

#include "chipdb/ChipSelection.h"
#include "chipdb/NameText.h"

#include <algorithm>
#include <cctype>

namespace vantor {

namespace {

struct Names {
    std::string type, maker, name;
    int slot = 0;
};

std::vector<Names> RecordNames(const ChipDatabase& db) {
    std::vector<Names> out;
    for (const ChipListRow& row : ListAllChips(db)) {
        out.push_back(
            {TrimBlanks(row.type), TrimBlanks(row.maker), TrimBlanks(row.name), row.slot});
    }
    return out;
}

std::string Joined(const Names& n) {
    return n.type + "," + n.maker + "," + n.name;
}

// Fields of "Type,Maker,Name" as typed: split at commas, each trimmed.
std::vector<std::string> TypedFields(std::string_view text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(TrimBlanks(text.substr(start, comma - start)));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return fields;
}

void AddCandidate(std::vector<std::string>& list, const std::string& triple) {
    const bool known = std::any_of(list.begin(), list.end(), [&](const std::string& seen) {
        return EqualsIgnoreCase(seen, triple);
    });
    if (!known) {
        list.push_back(triple);
    }
}

// One chip found, or several: the lookup ends with that outcome.
bool Settled(ChipLookup& out) {
    if (out.candidates.size() == 1) {
        out.outcome = ChipLookup::Outcome::Found;
        return true;
    }
    if (out.candidates.size() > 1) {
        out.outcome = ChipLookup::Outcome::Ambiguous;
        out.slot = -1;
        return true;
    }
    return false;
}

} // namespace

std::string ChipTriple(const ChipRecord& record) {
    const auto fields = SplitNameText(NameTextUtf8(record));
    return TrimmedField(fields, 0) + "," + TrimmedField(fields, 1) + "," + TrimmedField(fields, 2);
}

std::string NameWithoutSuffix(std::string_view name) {
    std::string base(name.substr(0, name.find('-')));
    while (!base.empty() && std::isalpha(static_cast<unsigned char>(base.back()))) {
        base.pop_back();
    }
    return base;
}

std::vector<ChipListRow> FindChipsAnyCase(const ChipDatabase& db, std::string_view search) {
    std::vector<ChipListRow> rows;
    const std::string wanted = FoldAsciiCase(TrimBlanks(search));
    if (wanted.empty()) {
        return rows;
    }
    for (const ChipListRow& row : ListAllChips(db)) {
        if (FoldAsciiCase(NameTextUtf8(db[row.slot])).find(wanted) != std::string::npos) {
            rows.push_back(row);
        }
    }
    return rows;
}

ChipLookup FindChipByName(const ChipDatabase& db, std::string_view text) {
    ChipLookup out;
    const std::vector<Names> records = RecordNames(db);
    const std::vector<std::string> typed = TypedFields(text);
    const bool triple = typed.size() == 3;
    const std::string& wantedName = typed.back();

    for (const Names& n : records) {
        const bool match = triple ? EqualsIgnoreCase(n.type, typed[0]) &&
                                        EqualsIgnoreCase(n.maker, typed[1]) &&
                                        EqualsIgnoreCase(n.name, typed[2])
                                  : typed.size() == 1 && EqualsIgnoreCase(n.name, wantedName);
        if (!match) {
            continue;
        }
        if (out.slot < 0) {
            out.slot = n.slot;
        }
        AddCandidate(out.candidates, Joined(n));
    }
    if (Settled(out)) {
        return out;
    }

    // No chip by that name: the name without the maker's suffix, when only
    // one chip reduces to it.
    if (typed.size() == 1 && !wantedName.empty()) {
        for (const Names& n : records) {
            const std::string stem(n.name.substr(0, n.name.find('-')));
            if (EqualsIgnoreCase(stem, wantedName) ||
                EqualsIgnoreCase(NameWithoutSuffix(n.name), wantedName)) {
                if (out.slot < 0) {
                    out.slot = n.slot;
                }
                AddCandidate(out.candidates, Joined(n));
            }
        }
        if (Settled(out)) {
            return out;
        }
    }

    // Nothing by that name: offer the chips whose name holds what was typed.
    const std::string folded = FoldAsciiCase(wantedName);
    for (const Names& n : records) {
        if (out.candidates.size() >= kMaxCandidates) {
            break;
        }
        if (!folded.empty() && FoldAsciiCase(n.name).find(folded) != std::string::npos) {
            AddCandidate(out.candidates, Joined(n));
        }
    }
    return out;
}

} // namespace vantor
