#include "controls/HexMemory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace vantor::hex {

std::size_t BlockSize(std::size_t n) {
    if (n < LargeBlock)
        return n;
    return (n + LargeBlock - 1) / LargeBlock * LargeBlock;
}

namespace {

uint8_t* mapLarge(std::size_t size) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    madvise(p, size, MADV_HUGEPAGE); // a hint; without it the block still works
    return static_cast<uint8_t*>(p);
}

} // namespace

uint8_t* AllocateBlock(std::size_t size) {
    if (size >= LargeBlock)
        return mapLarge(size);
    if (size == 0)
        return nullptr;
    auto* p = static_cast<uint8_t*>(std::malloc(size));
    if (!p)
        throw std::bad_alloc();
    return p;
}

uint8_t* GrowBlock(uint8_t* block, std::size_t oldSize, std::size_t newSize) {
    if (newSize < LargeBlock) {
        auto* p = static_cast<uint8_t*>(std::realloc(block, newSize));
        if (!p)
            throw std::bad_alloc();
        return p;
    }
    if (oldSize >= LargeBlock) {
        void* p = mremap(block, oldSize, newSize, MREMAP_MAYMOVE);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        madvise(p, newSize, MADV_HUGEPAGE);
        return static_cast<uint8_t*>(p);
    }
    uint8_t* p = mapLarge(newSize);
    if (oldSize)
        std::memcpy(p, block, oldSize);
    std::free(block);
    return p;
}

void ReleaseBlock(uint8_t* block, std::size_t size) {
    if (!block)
        return;
    if (size >= LargeBlock)
        munmap(block, size);
    else
        std::free(block);
}

} // namespace vantor::hex
