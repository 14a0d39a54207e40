// The S-record reader on arbitrary text, into a buffer allocated to its
// exact size so any write past it is caught by the address sanitizer.
#include "buffer/SRecordFile.h"

#include <cstdint>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr uint32_t kTarget = 0x10000;
    static const std::unique_ptr<uint8_t[]> target(new uint8_t[kTarget]);
    std::string_view text(reinterpret_cast<const char*>(data), size);
    int32_t extent = vantor::SRecordFile().ReadText(text, target.get(), kTarget);
    if (extent < 0 || extent > static_cast<int32_t>(kTarget))
        __builtin_trap();
    return 0;
}
