#include "buffer/Checksum.h"
#include "core/MessageTable.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantor;

TEST(Checksum, KnownValuesAndText) {
    const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    const Checksums sums = ComputeChecksums(check, sizeof check);
    EXPECT_EQ(sums.crc32, 0xCBF43926u); // the CRC-32 check value
    EXPECT_EQ(sums.sum, 0x1DDu);
    EXPECT_EQ(ComputeChecksums(check, 0).crc32, 0u);
    // The sum wraps at 2^32: 17 MiB of 0xFF.
    const std::vector<std::uint8_t> ff(17u << 20, 0xFF);
    EXPECT_EQ(ComputeChecksums(ff.data(), ff.size()).sum, std::uint32_t(0xFFull * ff.size()));
    SetCurrentLanguage(English);
    EXPECT_EQ(ChecksumText(sums), "CRC-32: CBF43926  Sum: 000001DD");
    SetCurrentLanguage(TraditionalChinese);
    EXPECT_EQ(ChecksumText(sums), "CRC-32: CBF43926  字節和: 000001DD");
    SetCurrentLanguage(English);
}
