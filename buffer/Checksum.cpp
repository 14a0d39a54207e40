#include "buffer/Checksum.h"

#include "core/MessageTable.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <zlib.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantor {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t count) {
    return std::uint32_t(crc32_z(crc32_z(0L, Z_NULL, 0), data, count));
}

namespace {

// The byte sum of a block, eight bytes at a time: the bytes of each word go
// into four 16-bit lanes, folded before a lane can overflow.
std::uint32_t ByteSum(const std::uint8_t* data, std::size_t count) {
#if defined(__SSE2__)
    // psadbw adds sixteen bytes into two 64-bit lanes in one instruction.
    __m128i lanes = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128();
    std::size_t i = 0;
    for (; count - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        lanes = _mm_add_epi64(lanes, _mm_sad_epu8(v, zero));
    }
    std::uint64_t parts[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(parts), lanes);
    std::uint32_t sum = std::uint32_t(parts[0] + parts[1]);
    for (; i < count; ++i) {
        sum += data[i];
    }
    return sum;
#else
    constexpr std::uint64_t kEven = 0x00FF00FF00FF00FFull;
    constexpr std::size_t kWordsPerFold = 128; // 128 * 2 * 255 < 65536
    std::uint32_t sum = 0;
    std::size_t i = 0;
    while (count - i >= 8) {
        std::uint64_t lanes = 0;
        for (std::size_t w = 0; w < kWordsPerFold && count - i >= 8; ++w, i += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + i, 8);
            lanes += (word & kEven) + ((word >> 8) & kEven);
        }
        lanes = (lanes & 0x0000FFFF0000FFFFull) + ((lanes >> 16) & 0x0000FFFF0000FFFFull);
        sum += std::uint32_t(lanes) + std::uint32_t(lanes >> 32);
    }
    for (; i < count; ++i) {
        sum += data[i];
    }
    return sum;
#endif
}

} // namespace

Checksums ComputeChecksumsPadded(const std::uint8_t* data, std::size_t count, std::size_t padding) {
    Checksums out = ComputeChecksums(data, count);
    static const std::array<std::uint8_t, 4096> erased = [] {
        std::array<std::uint8_t, 4096> block;
        block.fill(0xFF);
        return block;
    }();
    uLong crc = out.crc32;
    for (std::size_t left = padding; left > 0;) {
        const std::size_t n = left < erased.size() ? left : erased.size();
        crc = crc32_z(crc, erased.data(), n);
        left -= n;
    }
    out.crc32 = std::uint32_t(crc);
    out.sum += std::uint32_t(padding * 0xFFu);
    return out;
}

Checksums ComputeChecksums(const std::uint8_t* data, std::size_t count) {
    // Both figures block by block, so the sum finds each block still in cache.
    constexpr std::size_t kBlock = 64 * 1024;
    Checksums out;
    uLong crc = crc32_z(0L, Z_NULL, 0);
    for (std::size_t at = 0; at < count; at += kBlock) {
        const std::size_t n = count - at < kBlock ? count - at : kBlock;
        crc = crc32_z(crc, data + at, n);
        out.sum += ByteSum(data + at, n);
    }
    out.crc32 = std::uint32_t(crc);
    return out;
}

std::string ChecksumText(const Checksums& sums) {
    char text[96];
    std::snprintf(text, sizeof text, "CRC-32: %08X  %s: %08X", unsigned(sums.crc32),
                  Message(Own::ChecksumSum).c_str(), unsigned(sums.sum));
    return text;
}

} // namespace vantor
