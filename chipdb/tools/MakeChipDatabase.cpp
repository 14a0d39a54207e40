// Builds the shipped chip database from its source list:
//   vantor_chipdb_gen chips.csv vantor.Dat
// Refuses (exit status 1, nothing written) a list that cannot be read or
// breaks a rule of the shipped database.
#include "core/Prompts.h"
#include "chipdb/ChipSourceList.h"
#include "chipdb/DatabaseFile.h"

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
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " SOURCE.csv OUTPUT.Dat\n";
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
    std::vector<std::string> errors;
    vantor::ParseChipSourceList(text.str(), &records, &errors);
    if (errors.empty())
        errors = vantor::CheckShippedRules(records);
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
    return 0;
}
