#include "buffer/Checksum.h"

#include "core/MessageTable.h"

#include <cstdio>
#include <zlib.h>

namespace vantor {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t count) {
    return std::uint32_t(crc32_z(crc32_z(0L, Z_NULL, 0), data, count));
}

Checksums ComputeChecksums(const std::uint8_t* data, std::size_t count) {
    Checksums out;
    out.crc32 = Crc32(data, count);
    // Four lanes the compiler can keep in vector registers.
    std::uint32_t lane[4] = {};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        lane[0] += data[i];
        lane[1] += data[i + 1];
        lane[2] += data[i + 2];
        lane[3] += data[i + 3];
    }
    std::uint32_t sum = lane[0] + lane[1] + lane[2] + lane[3];
    for (; i < count; ++i) {
        sum += data[i];
    }
    out.sum = sum;
    return out;
}

std::string ChecksumText(const Checksums& sums) {
    char text[96];
    std::snprintf(text, sizeof text, "CRC-32: %08X  %s: %08X", unsigned(sums.crc32),
                  Message(Own::ChecksumSum).c_str(), unsigned(sums.sum));
    return text;
}

} // namespace vantor
