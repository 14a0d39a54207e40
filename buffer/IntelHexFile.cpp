#include "buffer/IntelHexFile.h"

#include "buffer/OutputFile.h"

#include <algorithm>
#include <cstring>

namespace vantor {

int32_t IntelHexFile::ReadRecords(uint8_t* target, uint32_t bufferSize) {
    // The extent is returned as a signed count, so no buffer may be larger.
    const uint64_t limit = std::min<uint64_t>(bufferSize, INT32_MAX);
    // Bases and addresses are 64-bit: linear + segment + offset can pass
    // 2^32 and must not wrap back under the size check.
    uint64_t segmentBase = 0;
    uint64_t linearBase = 0;
    uint64_t extent = 0;
    for (;;) {
        if (!ReadRecordLine()) {
            FileErrorBox(filetext::ErrorReading);
            return 0;
        }
        if (line_.empty() || line_[0] != ':') {
            FileErrorBox(filetext::IllegalLine);
            return 0;
        }
        uint32_t length, offset, type;
        if (!ParseHexField(1, 2, length) || !ParseHexField(3, 4, offset) ||
            !ParseHexField(7, 2, type))
            return 0;
        uint32_t sum = length + type + (offset >> 8) + (offset & 0xFF);
        if (type > 5) {
            FileErrorBox(filetext::InvalidRecordType);
            return 0;
        }
        switch (type) {
        case 0: {
            uint64_t address = linearBase + segmentBase + offset;
            if (address + length > limit) {
                FileErrorBox(filetext::ExceedsMaximum);
                return 0;
            }
            extent = std::max(extent, address + length);
            // The bytes are stored before the checksum is known; a bad
            // record leaves them in the buffer.
            uint32_t checksum;
            if (!ParseHexBytes(9, length, target + address, sum) ||
                !ParseHexField(9 + 2 * length, 2, checksum))
                return 0;
            if (((sum + checksum) & 0xFF) != 0) {
                FileErrorBox(filetext::ChecksumType0);
                return 0;
            }
            break;
        }
        case 1: {
            uint32_t checksum;
            if (!ParseHexField(9, 2, checksum))
                return 0;
            if (length != 0 || offset != 0 || checksum != 0xFF) {
                FileErrorBox(filetext::InvalidEof);
                return 0;
            }
            return static_cast<int32_t>(extent);
        }
        case 2:
        case 4: {
            if (length != 2) {
                FileErrorBox(type == 2 ? filetext::LengthType2 : filetext::LengthType4);
                return 0;
            }
            uint32_t value, checksum;
            if (!ParseHexField(9, 4, value) || !ParseHexField(13, 2, checksum))
                return 0;
            sum += (value >> 8) + (value & 0xFF) + checksum;
            if ((sum & 0xFF) != 0) {
                FileErrorBox(type == 2 ? filetext::ChecksumType2 : filetext::ChecksumType4);
                return 0;
            }
            if (type == 2)
                segmentBase = uint64_t{value} * 16;
            else
                linearBase = uint64_t{value} * 65536;
            break;
        }
        default: // 03 and 05, start addresses: nothing to load, nothing checked
            break;
        }
    }
}

bool IntelHexFile::Write(const std::string& fileName, const uint8_t* data, uint32_t count) {
    OutputFile out;
    if (!out.Create(fileName))
        return false;
    uint64_t address = 0;
    uint64_t windowBase = 0;
    uint64_t remaining = count;
    while (remaining > 0) {
        if (address - windowBase > 0xFFFF) {
            windowBase = address & ~uint64_t{0xFFFF};
            uint32_t upper = static_cast<uint32_t>(windowBase >> 16) & 0xFFFF;
            char* p = out.Reserve(17);
            char* q = p;
            std::memcpy(q, ":02000004", 9);
            q = PutHexByte(q + 9, upper >> 8);
            q = PutHexByte(q, upper);
            q = PutHexByte(q, 0x100 - ((6 + (upper >> 8) + (upper & 0xFF)) & 0xFF));
            *q++ = '\r';
            *q++ = '\n';
            out.Advance(static_cast<size_t>(q - p));
        }
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(BytesPerRecord, remaining));
        const uint8_t* bytes = data + address;
        if (!AllErased(bytes, n)) {
            uint32_t recordOffset = static_cast<uint32_t>(address - windowBase);
            char* p = out.Reserve(13 + 2 * BytesPerRecord);
            char* q = p;
            *q++ = ':';
            q = PutHexByte(q, n);
            q = PutHexByte(q, recordOffset >> 8);
            q = PutHexByte(q, recordOffset);
            *q++ = '0';
            *q++ = '0';
            uint32_t sum = n + (recordOffset >> 8) + (recordOffset & 0xFF);
            for (uint32_t i = 0; i < n; ++i) {
                q = PutHexByte(q, bytes[i]);
                sum += bytes[i];
            }
            q = PutHexByte(q, 0x100 - (sum & 0xFF));
            *q++ = '\r';
            *q++ = '\n';
            out.Advance(static_cast<size_t>(q - p));
        }
        address += BytesPerRecord;
        remaining -= n;
    }
    out.Append(":00000001FF\r\n", 13);
    return out.Commit();
}

} // namespace vantor
