#pragma once
// Intel HEX files: a strict reader of the record types 00 to 05 and a writer
// of 32-byte data records with extended linear address records.
#include "buffer/RecordFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

class IntelHexFile : public RecordFile {
public:
    // A line, line feed included, has at most this many bytes.
    static constexpr size_t LineBufferSize = 512;
    static constexpr uint32_t BytesPerRecord = 32;

    IntelHexFile() : RecordFile(LineBufferSize) {}

    // Loads the file into `target` (bufferSize bytes) at the record
    // addresses; bytes no record covers are left alone. Returns the highest
    // address written plus one after the end-of-file record, 0 after any
    // failure (reported with FileErrorBox) and, silently, when the file
    // cannot be opened.
    int32_t Read(const std::string& fileName, uint8_t* target, uint32_t bufferSize);
    // The same for text already in memory.
    int32_t ReadText(std::string_view text, uint8_t* target, uint32_t bufferSize);

    // Writes `count` bytes as addresses 0 to count - 1, replacing the file as
    // a whole. False when the file cannot be created or written.
    bool Write(const std::string& fileName, const uint8_t* data, uint32_t count);

private:
    int32_t ReadRecords(uint8_t* target, uint32_t bufferSize);
};

} // namespace vantor
