#pragma once
// Motorola S-record files: a reader of S1/S2/S3 data records and a writer of
// 16-byte records whose type the image size chooses.
#include "buffer/RecordFile.h"

#include <cstdint>
#include <string>

namespace vantor {

class SRecordFile final : public RecordFile {
public:
    // A line, line feed included, has at most this many bytes.
    static constexpr size_t LineBufferSize = 100;
    static constexpr uint32_t BytesPerRecord = 16;

    SRecordFile() : RecordFile(LineBufferSize) {}

    // Writes `count` bytes as addresses 0 to count - 1, replacing the file as
    // a whole. False when the file cannot be created or written.
    bool Write(const std::string& fileName, const uint8_t* data, uint32_t count);

    // The data record type (1, 2 or 3) a file of `count` bytes is written with.
    static int RecordTypeFor(uint32_t count);

private:
    int32_t ReadRecords(uint8_t* target, uint32_t bufferSize) override;
};

} // namespace vantor
