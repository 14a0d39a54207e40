// Chip selection and the find dialog's filter over a full database.
#include "bench/BenchRegistry.h"
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"

#include <string>

namespace {

// 1000 records: 5 types, 20 makers each, 10 names per maker.
void FillFullDatabase(vantor::ChipDatabase& db) {
    for (int slot = 0; slot < vantor::kChipSlots; ++slot) {
        vantor::ChipRecord& record = db[size_t(slot)];
        std::string name = "TYPE" + std::to_string(slot / 200) + ",MAKER" +
                           std::to_string(slot / 10 % 20) + ",CHIP" + std::to_string(slot);
        vantor::SetNameText(record, name);
        record.FlashSize = 1u << (10 + slot % 12);
        record.FlashPage = 256;
        record.ChipId = 0xEF4000u + uint32_t(slot);
    }
}

} // namespace

VANTOR_BENCH(chipdb) {
    static vantor::ChipDatabase db;
    FillFullDatabase(db);
    vantor::ChipSelection selection(&db);
    selection.SelectChip(4, 19, 9); // fills the type box once, as start-up does
    int sink = 0;
    double select = bench.bestSeconds([&] {
        for (int i = 0; i < 100; ++i) {
            selection.SelectChip(i % 5, i % 20, i % 10);
            sink += selection.CurrentChipIndex();
        }
    });
    bench.report("chipdb_select_chip_1000_records", select / 100 * 1e6, "us");
    double find = bench.bestSeconds([&] {
        for (int i = 0; i < 100; ++i)
            sink += int(vantor::FindChips(db, i % 2 ? "CHIP1" : "maker").size());
    });
    bench.report("chipdb_find_filter_1000_records", find / 100 * 1e6, "us");
    if (sink == -1)
        bench.note("unreachable");
}
