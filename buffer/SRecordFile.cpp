#include "buffer/SRecordFile.h"

#include "buffer/OutputFile.h"
#include "core/MessageTable.h"

#include <algorithm>
#include <cstring>

namespace vantor {
namespace {

constexpr const char* kHeader = "S00600004844521B\r\n";
constexpr const char* kTerminators[4] = {"", "S9030000FC\r\n", "S804000000FB\r\n",
                                         "S70500000000FA\r\n"};

} // namespace

int SRecordFile::RecordTypeFor(uint64_t end) {
    if (end <= 0xFFFF)
        return 1;
    if (end <= 0xFFFFFF)
        return 2;
    return 3;
}

bool SRecordFile::ParseRecord(Record& record) {
    // Other tools put long names and notes in the header, even longer than
    // any record can be; such a header is skipped whole.
    if (lineTooLong_)
        return line_ == "S0" || Fail(Message(Own::LineTooLong));
    if (line_[0] != 'S')
        return Fail(filetext::IllegalLine);
    const char kind = line_.size() > 1 ? line_[1] : '\0';
    // Address bytes of S0 to S9; S4 is reserved, 0 marks no such type.
    constexpr uint32_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const uint32_t addressBytes = kind >= '0' && kind <= '9' ? kAddressBytes[kind - '0'] : 0;
    if (addressBytes == 0)
        return Fail(filetext::InvalidRecordType);
    uint32_t count;
    if (!ParseHexField(2, 2, count))
        return false;
    // A count that cannot even hold the address and the checksum would
    // give a negative number of data bytes.
    if (count < addressBytes + 1)
        return Fail(filetext::IllegalChar);
    // A header longer than its count says is a peer's long name or note:
    // skipped, as ever. One that fits its count is checked like any record.
    if (kind == '0' && line_.size() > 4 + 2 * size_t{count})
        return true;
    if (!DecodeWholeLine(4, count))
        return false;
    uint32_t sum = count;
    for (uint32_t i = 0; i < count; ++i)
        sum += bytes_[i];
    if ((sum & 0xFF) != 0xFF)
        return Fail(filetext::Checksum);
    uint64_t address = 0;
    for (uint32_t i = 0; i < addressBytes; ++i)
        address = address << 8 | bytes_[i];
    // S5 and S6 count the data records before them; a file that lost or
    // gained one on the way is refused, as srec_cat refuses it.
    if ((kind == '5' || kind == '6') && address != dataRecords_)
        return Fail(FormatMessage(Own::RecordCountDiffers,
                                  {std::to_string(address), std::to_string(dataRecords_)}));
    if (kind >= '1' && kind <= '3') {
        ++dataRecords_;
        record.kind = Record::Kind::Data;
        record.address = address;
        record.count = count - addressBytes - 1;
        record.data = bytes_.data() + addressBytes;
    } else if (kind >= '7') {
        record.kind = Record::Kind::End;
    }
    return true; // S0 header, S5 and S6 counts: nothing to load
}

bool SRecordFile::Write(const std::string& fileName, const uint8_t* data, uint32_t count,
                        uint64_t base) {
    OutputFile out;
    if (!out.Create(fileName))
        return false;
    const int type = RecordTypeFor(base + count);
    const uint32_t addressBytes = static_cast<uint32_t>(type) + 1;
    out.Append(kHeader, std::strlen(kHeader));
    uint64_t address = base;
    uint64_t remaining = count;
    while (remaining > 0) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(BytesPerRecord, remaining));
        const uint8_t* bytes = data + (address - base);
        if (!AllErased(bytes, n)) {
            char* p = out.Reserve(12 + 2 * BytesPerRecord + 2 * 4);
            char* q = p;
            *q++ = 'S';
            *q++ = static_cast<char>('0' + type);
            uint32_t cc = n + addressBytes + 1;
            q = PutHexByte(q, cc);
            uint32_t sum = cc;
            for (int shift = 8 * static_cast<int>(addressBytes - 1); shift >= 0; shift -= 8) {
                uint32_t b = static_cast<uint32_t>(address >> shift) & 0xFF;
                q = PutHexByte(q, b);
                sum += b;
            }
            for (uint32_t i = 0; i < n; ++i) {
                q = PutHexByte(q, bytes[i]);
                sum += bytes[i];
            }
            q = PutHexByte(q, 0xFF - (sum & 0xFF));
            *q++ = '\r';
            *q++ = '\n';
            out.Advance(static_cast<size_t>(q - p));
        }
        address += BytesPerRecord;
        remaining -= n;
    }
    out.Append(kTerminators[type], std::strlen(kTerminators[type]));
    return out.Commit();
}

} // namespace vantor
