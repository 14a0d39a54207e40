#pragma once
// What the two text codecs (Intel HEX and Motorola S-record) share: reading a
// file line by line through a large block buffer, hex fields taken by
// position, the codecs' message box, and block-wise output.

#include "core/AsciiText.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantor {

// The codecs' messages are fixed English texts in every language.
namespace filetext {
inline constexpr const char* ReadFailed = "File Read Operation Failed";
inline constexpr const char* ErrorReading = "Error reading File";
inline constexpr const char* IllegalLine = "Illegal Line found";
inline constexpr const char* IllegalChar = "Illegal Char in File";
inline constexpr const char* InvalidRecordType = "Invalid Record type";
inline constexpr const char* ExceedsMaximum = "File exceeds Maximum Size";
inline constexpr const char* ChecksumType0 = "Checksum Error type 0";
inline constexpr const char* ChecksumType2 = "Checksum Error type 2";
inline constexpr const char* ChecksumType4 = "Checksum Error type 4";
inline constexpr const char* InvalidEof = "Invalid EOF Record";
inline constexpr const char* LengthType2 = "Invalid Record Length for type 2";
inline constexpr const char* LengthType4 = "Invalid Record Length for type 4";
inline constexpr const char* Checksum = "Checksum Error";
} // namespace filetext

namespace detail {
constexpr std::array<std::array<char, 2>, 256> MakeHexPairTable() {
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<std::array<char, 2>, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = {digits[i >> 4], digits[i & 15]};
    return t;
}
} // namespace detail

// Two upper-case hex digits for every byte value.
inline constexpr auto kHexPair = detail::MakeHexPairTable();

// Two upper-case hex digits of the low byte of `value`; returns the position after them.
inline char* PutHexByte(char* out, uint32_t value) {
    const auto& pair = kHexPair[value & 0xFF];
    out[0] = pair[0];
    out[1] = pair[1];
    return out + 2;
}

// True when all `n` bytes are 0xFF: such records are left out of a file.
bool AllErased(const uint8_t* p, uint32_t n);

class RecordFile {
public:
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Loads the file into `target` (bufferSize bytes) at the record
    // addresses; bytes no record covers are left alone. Returns the highest
    // address written plus one once the file's end record is read, 0 after
    // any failure (reported with FileErrorBox) and, silently, when the file
    // cannot be opened. The file is closed before it returns.
    int32_t Read(const std::string& fileName, uint8_t* target, uint32_t bufferSize);
    // The same for text already in memory.
    int32_t ReadText(std::string_view text, uint8_t* target, uint32_t bufferSize);

    // The codecs' message box.
    static void FileErrorBox(const std::string& text);
    // `digits` upper-case hex digits of `value`, most significant first.
    static std::string FormatHexField(uint32_t value, int digits);
    // The same into `out`; returns the position after the last digit.
    static char* FormatHexField(char* out, uint32_t value, int digits);

protected:
    explicit RecordFile(size_t lineBufferSize);
    virtual ~RecordFile();

    // The format's own record loop over the opened input.
    virtual int32_t ReadRecords(uint8_t* target, uint32_t bufferSize) = 0;

    // Opens a file for reading; false without a message when it cannot be opened.
    bool OpenForRead(const std::string& fileName);
    // Reads from text held in memory instead of a file (fuzzing, tests).
    void OpenText(std::string_view text);
    void CloseInput();

    // Next line into line_: up to the line buffer's size, ending after the
    // first line feed within it. A longer line is cut at the buffer's size and
    // the rest comes back as the next line. False, after the message, when
    // nothing is left to read.
    bool ReadRecordLine();
    // Drops what is left of a line that ReadRecordLine cut at the buffer's
    // size, up to and including its line feed.
    void SkipRestOfLine();
    // The field of `digits` hex digits at `position` of the line. A position
    // past the line's end counts as an illegal character, so a short line is
    // never read beyond. False after the message.
    bool ParseHexField(size_t position, int digits, uint32_t& value);
    // Decodes `count` bytes starting at `position` into `out`, adding each to
    // `sum`, byte by byte: on an illegal digit the bytes before it are stored
    // and false comes back after the message.
    bool ParseHexBytes(size_t position, uint32_t count, uint8_t* out, uint32_t& sum);

    std::string_view line_;

private:
    void Refill();

    size_t lineBufferSize_;
    int fd_ = -1;
    std::unique_ptr<char[]> block_; // kReadBlock bytes while reading a file
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    bool eof_ = true;
};

} // namespace vantor
