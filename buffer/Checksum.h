#pragma once
// The two figures people compare with a vendor's: CRC-32 (the zlib/PNG/Ethernet
// polynomial) and the 32-bit sum of all bytes, over a range of the buffer.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

struct Checksums {
    std::uint32_t crc32 = 0;
    std::uint32_t sum = 0; // bytes added modulo 2^32
};

Checksums ComputeChecksums(const std::uint8_t* data, std::size_t count);
// The figures of `count` bytes of `data` followed by `padding` bytes of 0xFF:
// an image as it will be saved when it is shorter than the chip.
Checksums ComputeChecksumsPadded(const std::uint8_t* data, std::size_t count, std::size_t padding);
std::uint32_t Crc32(const std::uint8_t* data, std::size_t count);

// "CRC-32: 1A2B3C4D  Sum: 0012AB34", the sum's label in the current language.
std::string ChecksumText(const Checksums& sums);

} // namespace vantor
