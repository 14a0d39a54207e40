#pragma once
// Intel HEX files: a strict reader of the record types 00 to 05 and a writer
// of 32-byte data records with extended linear address records.
#include "buffer/RecordFile.h"

#include <cstdint>
#include <string>

namespace vantor {

class IntelHexFile final : public RecordFile {
public:
    // The longest record, line end included: 255 data bytes (521
    // characters) with CR LF, as other tools write them.
    static constexpr size_t LineBufferSize = 523;
    static constexpr uint32_t BytesPerRecord = 32;

    IntelHexFile() : RecordFile(LineBufferSize) {}

    // Writes `count` bytes as addresses base to base + count - 1, replacing
    // the file as a whole. False when the file cannot be created or written.
    bool Write(const std::string& fileName, const uint8_t* data, uint32_t count, uint64_t base = 0);

private:
    void StartRecords() override { addressBase_ = 0; }
    bool ParseRecord(Record& record) override;
    // The end record ends the file, as in every other tool that reads them.
    bool ReadsPastEnd() const override { return false; }

    // What the last type 02 or 04 record set; the reference tools keep one
    // base that either replaces, not a sum of both.
    uint64_t addressBase_ = 0;
};

} // namespace vantor
