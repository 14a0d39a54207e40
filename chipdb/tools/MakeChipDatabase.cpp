// Builds the shipped chip database from its source list, and the table of
// 4-byte entry methods that the record has no room for:
//   vantor_chipdb_gen chips.csv vantor.Dat [ShippedFourByteEntries.inc]
// Refuses (exit status 1, nothing written) a list that cannot be read or
// breaks a rule of the shipped database.
#include "chipdb/ChipSourceList.h"
#include "chipdb/DatabaseFile.h"
#include "core/Prompts.h"

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

class StderrPrompts : public vantor::RecordingPrompts {
public:
    void showError(const std::string& text) override { std::cerr << text << "\n"; }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: " << argv[0] << " SOURCE.csv OUTPUT.Dat [ENTRIES.inc]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();

    std::vector<vantor::ChipRecord> records;
    std::vector<vantor::FourByteEntry> entries;
    std::vector<std::string> errors;
    vantor::ParseChipSourceList(text.str(), &records, &errors, &entries);
    if (errors.empty())
        errors = vantor::CheckShippedRules(records, entries);
    if (!errors.empty()) {
        for (const auto& e : errors)
            std::cerr << argv[1] << ": " << e << "\n";
        return 1;
    }

    // Records in slots 0..N-1, then an all-zero terminator slot.
    vantor::ChipDatabase db;
    for (std::size_t i = 0; i < records.size(); ++i)
        db[static_cast<int>(i)] = records[i];
    StderrPrompts prompts;
    vantor::ScopedPrompts scope(prompts);
    if (!vantor::WriteDatabaseFile(argv[2], db, static_cast<int>(records.size()) + 1))
        return 1;
    if (argc == 4) {
        std::ofstream table(argv[3], std::ios::binary | std::ios::trunc);
        table << "// Generated from " << argv[1] << " by vantor_chipdb_gen; do not edit.\n"
              << vantor::FourByteEntryTable(records, entries);
        if (!table.flush()) {
            std::cerr << argv[3] << ": cannot write\n";
            return 1;
        }
    }
    return 0;
}
