#include "buffer/IntelHexFile.h"

#include "buffer/OutputFile.h"
#include "core/MessageTable.h"

#include <algorithm>
#include <cstring>

namespace vantor {

bool IntelHexFile::ParseRecord(Record& record) {
    if (lineTooLong_)
        return Fail(Message(Own::LineTooLong));
    if (line_[0] != ':')
        return Fail(filetext::IllegalLine);
    uint32_t length, type;
    if (!ParseHexField(1, 2, length) || !ParseHexField(7, 2, type))
        return false;
    // The record's kind is judged first, so its message says what is wrong
    // with it rather than only that its length does not add up.
    if (type > 5)
        return Fail(filetext::InvalidRecordType);
    if (type == 1 && length != 0)
        return Fail(filetext::InvalidEof);
    if ((type == 2 || type == 4) && length != 2)
        return Fail(type == 2 ? filetext::LengthType2 : filetext::LengthType4);
    if ((type == 3 || type == 5) && length != 4)
        return Fail(std::string("Invalid Record Length for type ") + char('0' + type));
    if (!DecodeWholeLine(1, length + 5))
        return false;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < length + 5; ++i)
        sum += bytes_[i];
    if ((sum & 0xFF) != 0) {
        return Fail(type == 0   ? filetext::ChecksumType0
                    : type == 1 ? filetext::InvalidEof
                    : type == 2 ? filetext::ChecksumType2
                    : type == 4 ? filetext::ChecksumType4
                                : filetext::Checksum);
    }
    const uint32_t offset = uint32_t{bytes_[1]} << 8 | bytes_[2];
    const uint8_t* payload = bytes_.data() + 4;
    switch (type) {
    case 0:
        record.kind = Record::Kind::Data;
        record.address = addressBase_ + offset;
        record.count = length;
        record.data = payload;
        break;
    case 1:
        record.kind = Record::Kind::End;
        break;
    case 2:
    case 4: {
        const uint64_t value = uint64_t{payload[0]} << 8 | payload[1];
        addressBase_ = type == 2 ? value * 16 : value << 16;
        break;
    }
    default: // 03 and 05, start addresses: nothing to load
        break;
    }
    return true;
}

bool IntelHexFile::Write(const std::string& fileName, const uint8_t* data, uint32_t count,
                         uint64_t base) {
    OutputFile out;
    if (!out.Create(fileName))
        return false;
    uint64_t address = base;
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
        // A record never crosses a 64 KiB window: a base off the record
        // grid would otherwise wrap its tail back to the window's start.
        const uint64_t toWindowEnd = windowBase + 0x10000 - address;
        uint32_t n = static_cast<uint32_t>(
            std::min<uint64_t>(std::min<uint64_t>(BytesPerRecord, remaining), toWindowEnd));
        const uint8_t* bytes = data + (address - base);
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
        address += n;
        remaining -= n;
    }
    out.Append(":00000001FF\r\n", 13);
    return out.Commit();
}

} // namespace vantor
