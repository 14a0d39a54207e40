#pragma once
// Small builders for chip database tests.
#include "chipdb/ChipRecord.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace vantor::test {

// A record with the given NameText bytes (stored as they are, no GBK
// conversion) and geometry.
inline ChipRecord MakeRecord(const std::string& nameBytes, std::uint32_t size = 1024,
                             std::uint16_t page = 256) {
    ChipRecord r;
    if (nameBytes.size() > kNameTextMaxBytes)
        throw std::invalid_argument(nameBytes);
    std::memcpy(r.NameText.data(), nameBytes.data(), nameBytes.size());
    r.FlashSize = size;
    r.FlashPage = page;
    r.Delay = 100;
    return r;
}

inline void Fill(ChipDatabase& db, std::initializer_list<ChipRecord> records) {
    int i = 0;
    for (const ChipRecord& r : records)
        db[i++] = r;
}

} // namespace vantor::test
