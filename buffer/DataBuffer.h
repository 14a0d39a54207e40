#pragma once
// The chip image: a fixed 64 MiB array that every producer (chip read, file
// open, fill) writes into and every consumer (write, verify, save) reads from.
// It is never reallocated, so its address stays valid for the program's life.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vantor {

inline constexpr uint32_t DataBufferSize = 0x4000000; // 64 MiB, the largest chip we offer
// Transfers move whole chunks; a last chunk that reaches past the chip's end
// lands in this tail, which is ours but never read back as data.
inline constexpr uint32_t DataBufferTail = 256;

class DataBuffer {
public:
    DataBuffer();
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;

    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    uint8_t& operator[](size_t i) { return bytes_[i]; }
    uint8_t operator[](size_t i) const { return bytes_[i]; }
    static constexpr uint32_t size() { return DataBufferSize; }
    // Size including the tail, for transfers that may overrun by one chunk.
    static constexpr uint32_t capacity() { return DataBufferSize + DataBufferTail; }

    // Count of meaningful bytes at the start; 0 means "empty".
    int32_t UsedLength = 0;
    // The address the first byte had in the text file last opened; a save
    // as Intel HEX or S-record writes the bytes back there.
    uint64_t LoadBase = 0;

private:
    std::unique_ptr<uint8_t[]> bytes_;
};

} // namespace vantor
