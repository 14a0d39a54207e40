// The 4-byte entry methods of the shipped source list, by JEDEC ID. The table
// is written by vantor_chipdb_gen from the list's addr4 column.
#include "chipdb/FourByteEntry.h"

#include <algorithm>
#include <iterator>

namespace vantor {
namespace {

struct IdEntry {
    std::uint32_t chipId;
    FourByteEntry entry;
};

// Sorted by ID.
constexpr IdEntry kShipped[] = {
#include "ShippedFourByteEntries.inc"
};

} // namespace

FourByteEntry ShippedFourByteEntry(std::uint32_t chipId) {
    const auto* end = std::end(kShipped);
    const auto* it =
        std::lower_bound(std::begin(kShipped), end, chipId,
                         [](const IdEntry& e, std::uint32_t id) { return e.chipId < id; });
    return it != end && it->chipId == chipId ? it->entry : FourByteEntry::Unknown;
}

} // namespace vantor
