#pragma once
// Memory for chip-sized byte blocks. Large blocks come straight from the
// kernel with transparent huge pages requested: touching 64 MiB of fresh
// 4 KiB pages costs far more than copying 64 MiB, and huge pages take that
// cost away. Growing a large block remaps its pages instead of copying them.
#include <cstddef>
#include <cstdint>

namespace vantor::hex {

inline constexpr std::size_t LargeBlock = std::size_t{2} << 20;

// The size actually reserved for a request of n bytes.
std::size_t BlockSize(std::size_t n);
// Throws std::bad_alloc when memory is short. Sizes are BlockSize() values.
uint8_t* AllocateBlock(std::size_t size);
uint8_t* GrowBlock(uint8_t* block, std::size_t oldSize, std::size_t newSize);
void ReleaseBlock(uint8_t* block, std::size_t size);

// For containers of bytes that may grow chip-sized (undo records).
template <class T> struct BlockAllocator {
    using value_type = T;
    BlockAllocator() = default;
    template <class U> BlockAllocator(const BlockAllocator<U>&) {}
    T* allocate(std::size_t n) {
        return reinterpret_cast<T*>(AllocateBlock(BlockSize(n * sizeof(T))));
    }
    void deallocate(T* p, std::size_t n) {
        ReleaseBlock(reinterpret_cast<uint8_t*>(p), BlockSize(n * sizeof(T)));
    }
    template <class U> bool operator==(const BlockAllocator<U>&) const { return true; }
};

} // namespace vantor::hex
