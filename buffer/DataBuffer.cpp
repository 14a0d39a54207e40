#include "buffer/DataBuffer.h"

#include <cstring>

namespace vantor {

DataBuffer::DataBuffer() : bytes_(new uint8_t[capacity()]) {
    std::memset(bytes_.get(), 0xFF, capacity());
}

} // namespace vantor
