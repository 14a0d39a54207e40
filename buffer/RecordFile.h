#pragma once
// What the two text codecs (Intel HEX and Motorola S-record) share: reading a
// file line by line through a large block buffer, the load loop (blank
// lines, end records, overlaps, the base address, warnings), hex fields
// taken by position, the codecs' messages naming the line, and block-wise
// output.

#include "core/AsciiText.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// The codecs' messages are fixed English texts in every language; the line
// they refer to is added in the user's language.
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

// The addresses a file's data records cover: lowest to end (one past the
// highest), absolute, whatever base it is loaded at.
struct RecordSpan {
    uint64_t lowest = UINT64_MAX;
    uint64_t end = 0;
    bool empty() const { return end == 0; }
};

// How a load ended.
struct RecordLoad {
    enum class Outcome {
        Loaded,        // every record read; warnings given
        Failed,        // refused with a message naming the line
        OutsideBuffer, // valid, but data lies outside base .. base + buffer size: nothing said
    };
    Outcome outcome = Outcome::Failed;
    uint32_t extent = 0; // highest address written plus one, from the base
    RecordSpan span;
};

class RecordFile {
public:
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Loads the file into `target` (bufferSize bytes) at the record
    // addresses less `base`; bytes no record covers are left alone. A file
    // that cannot be opened is Failed without a message.
    RecordLoad Load(const std::string& fileName, uint8_t* target, uint32_t bufferSize,
                    uint64_t base = 0);
    RecordLoad LoadText(std::string_view text, uint8_t* target, uint32_t bufferSize,
                        uint64_t base = 0);

    // Load from base 0 as a count: the extent, or 0 after any failure (data
    // outside the buffer is "File exceeds Maximum Size").
    int32_t Read(const std::string& fileName, uint8_t* target, uint32_t bufferSize);
    int32_t ReadText(std::string_view text, uint8_t* target, uint32_t bufferSize);

    // The codecs' message box.
    static void FileErrorBox(const std::string& text);
    // `digits` upper-case hex digits of `value`, most significant first.
    static std::string FormatHexField(uint32_t value, int digits);
    // The same into `out`; returns the position after the last digit.
    static char* FormatHexField(char* out, uint32_t value, int digits);

protected:
    // One parsed line.
    struct Record {
        enum class Kind { Data, End, Other } kind = Kind::Other;
        uint64_t address = 0; // absolute, of the first data byte
        uint32_t count = 0;   // data bytes, at data
        const uint8_t* data = nullptr;
    };

    // lineLimit: the longest line a valid record makes, line end included.
    explicit RecordFile(size_t lineLimit);
    virtual ~RecordFile();

    // Forgets what earlier lines set (address bases).
    virtual void StartRecords() = 0;
    // Parses line_ (trailing blanks removed, never empty). False after the
    // message. A line longer than any record arrives with lineTooLong_ set.
    virtual bool ParseRecord(Record& record) = 0;
    // Whether records after the end record are read (with a warning) or the
    // end record ends the input (with a warning when anything follows).
    virtual bool ReadsPastEnd() const = 0;

    // Shows `text` naming the current line; returns false.
    bool Fail(const std::string& text);
    // Decodes `count` bytes at `position` of the line into bytes_, the line
    // being exactly as long as they are; false after the message otherwise
    // (too short: "Illegal Char in File"; more after them: junk).
    bool DecodeWholeLine(size_t position, uint32_t count);
    // The field of `digits` hex digits at `position` of the line. A position
    // past the line's end counts as an illegal character, so a short line is
    // never read beyond. False after the message.
    bool ParseHexField(size_t position, int digits, uint32_t& value);

    std::string_view line_;
    bool lineTooLong_ = false;
    // The longest record's bytes: an Intel HEX record of 255 data bytes with
    // its length, address, type and checksum (an S-record needs 256).
    std::array<uint8_t, 255 + 5> bytes_{};

private:
    class Coverage;

    bool OpenForRead(const std::string& fileName);
    void OpenText(std::string_view text);
    void Restart();
    void CloseInput();
    RecordLoad LoadRecords(uint8_t* target, uint64_t limit, uint64_t base);
    int32_t AsCount(const RecordLoad& load);
    // The next line into line_, its line end and trailing blanks removed;
    // false at the end of the input.
    bool NextLine();
    void Refill();
    void SkipRestOfLine();
    // The first line whose data covers `address`, read again from the start.
    uint64_t LineWriting(uint64_t address, uint64_t beforeLine);
    void Warn(std::string text);
    void WarnWhenLinesFollow(uint64_t endLine);

    size_t lineLimit_;
    uint64_t lineNumber_ = 0;
    std::vector<std::string> warnings_; // given once the load has succeeded
    std::string fileName_;              // to read again; empty for text
    std::string_view text_;
    int fd_ = -1;
    std::unique_ptr<char[]> block_; // kReadBlock bytes while reading a file
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    bool eof_ = true;
    char longHead_[2] = {};
};

} // namespace vantor
