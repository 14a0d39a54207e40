#include "buffer/SRecordFile.h"

#include "buffer/OutputFile.h"

#include <algorithm>
#include <cstring>

namespace vantor {
namespace {

constexpr const char* kHeader = "S00600004844521B\r\n";
constexpr const char* kTerminators[4] = {"", "S9030000FC\r\n", "S804000000FB\r\n",
                                         "S70500000000FA\r\n"};

} // namespace

int SRecordFile::RecordTypeFor(uint32_t count) {
    if (count <= 0xFFFF)
        return 1;
    if (count <= 0xFFFFFF)
        return 2;
    return 3;
}

int32_t SRecordFile::ReadRecords(uint8_t* target, uint32_t bufferSize) {
    const uint64_t limit = std::min<uint64_t>(bufferSize, INT32_MAX);
    uint64_t extent = 0;
    for (;;) {
        if (!ReadRecordLine())
            return 0;
        if (line_.empty() || line_[0] != 'S') {
            FileErrorBox(filetext::IllegalLine);
            return 0;
        }
        char kind = line_.size() > 1 ? line_[1] : '\0';
        if (kind == '7' || kind == '8' || kind == '9')
            return static_cast<int32_t>(extent);
        if (kind == '0') {
            // Other tools put long names and notes in the header; it is
            // skipped whatever its length.
            SkipRestOfLine();
            continue;
        }
        if (kind != '1' && kind != '2' && kind != '3')
            continue; // S4 to S6 and anything unknown: skipped unseen
        const uint32_t addressBytes = static_cast<uint32_t>(kind - '0') + 1;
        uint32_t count, address;
        if (!ParseHexField(2, 2, count) || !ParseHexField(4, 2 * addressBytes, address))
            return 0;
        uint32_t sum = count;
        for (uint32_t a = address, i = 0; i < addressBytes; ++i, a >>= 8)
            sum += a & 0xFF;
        // A count that cannot even hold the address and the checksum would
        // give a negative number of data bytes.
        if (count < addressBytes + 1) {
            FileErrorBox(filetext::IllegalChar);
            return 0;
        }
        const uint32_t n = count - addressBytes - 1;
        if (uint64_t{address} + n > limit) {
            FileErrorBox(filetext::ExceedsMaximum);
            return 0;
        }
        extent = std::max(extent, uint64_t{address} + n);
        // Stored before the checksum is known; a bad record leaves them behind.
        const size_t dataAt = 4 + 2 * addressBytes;
        uint32_t checksum;
        if (!ParseHexBytes(dataAt, n, target + address, sum) ||
            !ParseHexField(dataAt + 2 * n, 2, checksum))
            return 0;
        if (((sum + checksum) & 0xFF) != 0xFF) {
            FileErrorBox(filetext::Checksum);
            return 0;
        }
    }
}

bool SRecordFile::Write(const std::string& fileName, const uint8_t* data, uint32_t count) {
    OutputFile out;
    if (!out.Create(fileName))
        return false;
    const int type = RecordTypeFor(count);
    const uint32_t addressBytes = static_cast<uint32_t>(type) + 1;
    out.Append(kHeader, std::strlen(kHeader));
    uint64_t address = 0;
    uint64_t remaining = count;
    while (remaining > 0) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(BytesPerRecord, remaining));
        const uint8_t* bytes = data + address;
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
