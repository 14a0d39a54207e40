#pragma once
// Intel HEX files: a strict reader of the record types 00 to 05 and a writer
// of 32-byte data records with extended linear address records.
#include "buffer/RecordFile.h"

#include <cstdint>
#include <string>

namespace vantor {

class IntelHexFile final : public RecordFile {
public:
    // A line, line feed included, has at most this many bytes: a record of
    // 255 data bytes (521 characters) with CR LF, as other tools write them.
    static constexpr size_t LineBufferSize = 523;
    static constexpr uint32_t BytesPerRecord = 32;

    IntelHexFile() : RecordFile(LineBufferSize) {}

    // Writes `count` bytes as addresses 0 to count - 1, replacing the file as
    // a whole. False when the file cannot be created or written.
    bool Write(const std::string& fileName, const uint8_t* data, uint32_t count);

private:
    int32_t ReadRecords(uint8_t* target, uint32_t bufferSize) override;
};

} // namespace vantor
