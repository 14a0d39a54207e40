#pragma once
// Motorola S-record files: a reader of every record type the format defines
// (S0 to S3, S5 to S9) and a writer of 16-byte records whose type the
// highest address chooses.
#include "buffer/RecordFile.h"

#include <cstdint>
#include <string>

namespace vantor {

class SRecordFile final : public RecordFile {
public:
    // The longest record, line end included: a byte count of 255 (514
    // characters) with CR LF.
    static constexpr size_t LineBufferSize = 516;
    static constexpr uint32_t BytesPerRecord = 16;

    SRecordFile() : RecordFile(LineBufferSize) {}

    // Writes `count` bytes as addresses base to base + count - 1, replacing
    // the file as a whole. False when the file cannot be created or written.
    bool Write(const std::string& fileName, const uint8_t* data, uint32_t count, uint64_t base = 0);

    // The data record type (1, 2 or 3) for addresses below `end`.
    static int RecordTypeFor(uint64_t end);

private:
    void StartRecords() override { dataRecords_ = 0; }
    bool ParseRecord(Record& record) override;
    // Linkers and hand edits leave records after the termination record;
    // other tools load them, so they count here too.
    bool ReadsPastEnd() const override { return true; }

    uint64_t dataRecords_ = 0; // S1 to S3 so far, for S5 and S6 to match
};

} // namespace vantor
