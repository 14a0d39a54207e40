#include "buffer/RecordFile.h"

#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace vantor {
namespace {

// Reading goes through blocks this large, so a file costs one system call per
// megabyte, not one per line.
constexpr size_t kReadBlock = 1 << 20;
// Blanks other tools leave after a record are read past, up to this many.
constexpr size_t kTrailingBlanks = 64;
constexpr uint64_t kNone = UINT64_MAX;

constexpr char kUpperDigits[] = "0123456789ABCDEF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

// Which bytes of the buffer a record has written so far, one bit each, so a
// later record that gives one of them another value is caught.
class RecordFile::Coverage {
public:
    explicit Coverage(uint64_t size)
        : bits_(static_cast<uint64_t*>(std::calloc((size + 63) / 64 + 1, sizeof(uint64_t)))) {
        if (!bits_)
            throw std::bad_alloc();
    }
    ~Coverage() { std::free(bits_); }
    Coverage(const Coverage&) = delete;
    Coverage& operator=(const Coverage&) = delete;

    // The first written offset in from .. stop - 1, or kNone.
    uint64_t FirstWritten(uint64_t from, uint64_t stop) const {
        for (uint64_t i = from; i < stop;) {
            const uint64_t bit = i & 63;
            const uint64_t span = std::min<uint64_t>(64 - bit, stop - i);
            const uint64_t mask = (span == 64 ? ~uint64_t{0} : (uint64_t{1} << span) - 1) << bit;
            if (const uint64_t hit = bits_[i >> 6] & mask)
                return (i & ~uint64_t{63}) + static_cast<uint64_t>(__builtin_ctzll(hit));
            i += span;
        }
        return kNone;
    }
    void Mark(uint64_t from, uint64_t stop) {
        for (uint64_t i = from; i < stop;) {
            const uint64_t bit = i & 63;
            const uint64_t span = std::min<uint64_t>(64 - bit, stop - i);
            bits_[i >> 6] |= (span == 64 ? ~uint64_t{0} : (uint64_t{1} << span) - 1) << bit;
            i += span;
        }
    }

private:
    uint64_t* bits_;
};

bool AllErased(const uint8_t* p, uint32_t n) {
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word != ~uint64_t{0})
            return false;
    }
    for (; i < n; ++i)
        if (p[i] != 0xFF)
            return false;
    return true;
}

void RecordFile::FileErrorBox(const std::string& text) {
    CurrentPrompts().showFileMessage(text);
}

char* RecordFile::FormatHexField(char* out, uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = kUpperDigits[value & 15];
        value >>= 4;
    }
    return out + digits;
}

std::string RecordFile::FormatHexField(uint32_t value, int digits) {
    std::string s(static_cast<size_t>(digits), '0');
    FormatHexField(s.data(), value, digits);
    return s;
}

RecordFile::RecordFile(size_t lineLimit) : lineLimit_(lineLimit + kTrailingBlanks) {}

RecordFile::~RecordFile() {
    CloseInput();
}

RecordLoad RecordFile::Load(const std::string& fileName, uint8_t* target, uint32_t bufferSize,
                            uint64_t base) {
    if (!OpenForRead(fileName))
        return {};
    RecordLoad load = LoadRecords(target, std::min<uint64_t>(bufferSize, INT32_MAX), base);
    CloseInput();
    return load;
}

RecordLoad RecordFile::LoadText(std::string_view text, uint8_t* target, uint32_t bufferSize,
                                uint64_t base) {
    OpenText(text);
    RecordLoad load = LoadRecords(target, std::min<uint64_t>(bufferSize, INT32_MAX), base);
    CloseInput();
    return load;
}

int32_t RecordFile::AsCount(const RecordLoad& load) {
    if (load.outcome == RecordLoad::Outcome::OutsideBuffer)
        FileErrorBox(filetext::ExceedsMaximum);
    return load.outcome == RecordLoad::Outcome::Loaded ? static_cast<int32_t>(load.extent) : 0;
}

int32_t RecordFile::Read(const std::string& fileName, uint8_t* target, uint32_t bufferSize) {
    return AsCount(Load(fileName, target, bufferSize));
}

int32_t RecordFile::ReadText(std::string_view text, uint8_t* target, uint32_t bufferSize) {
    return AsCount(LoadText(text, target, bufferSize));
}

RecordLoad RecordFile::LoadRecords(uint8_t* target, uint64_t limit, uint64_t base) {
    RecordLoad load;
    StartRecords();
    warnings_.clear();
    lineNumber_ = 0;
    uint64_t endLine = 0;
    bool dataAfterEnd = false;
    bool outside = false;
    std::unique_ptr<Coverage> written;
    uint64_t extent = 0;
    while (NextLine()) {
        ++lineNumber_;
        if (line_.empty())
            continue;
        Record record;
        if (!ParseRecord(record))
            return load;
        if (record.kind == Record::Kind::End && endLine == 0) {
            endLine = lineNumber_;
            if (!ReadsPastEnd()) {
                WarnWhenLinesFollow(endLine);
                break;
            }
        }
        if (record.kind != Record::Kind::Data || record.count == 0)
            continue;
        if (endLine != 0 && !dataAfterEnd) {
            dataAfterEnd = true;
            Warn(FormatMessage(Own::DataAfterEnd,
                               {std::to_string(lineNumber_), std::to_string(endLine)}));
        }
        const uint64_t recordEnd = record.address + record.count;
        load.span.lowest = std::min(load.span.lowest, record.address);
        load.span.end = std::max(load.span.end, recordEnd);
        if (outside || record.address < base || recordEnd - base > limit) {
            // The rest is read for the span only: the caller chooses a base.
            outside = true;
            continue;
        }
        const uint64_t at = record.address - base;
        const uint64_t stop = at + record.count;
        if (!written)
            written = std::make_unique<Coverage>(limit);
        for (uint64_t i = written->FirstWritten(at, stop); i != kNone;
             i = written->FirstWritten(i + 1, stop)) {
            if (target[i] != record.data[i - at]) {
                const uint64_t address = base + i;
                const uint64_t here = lineNumber_;
                FileErrorBox(FormatMessage(
                    Own::OverlapDiffers, {Hex(address), std::to_string(LineWriting(address, here)),
                                          std::to_string(here)}));
                return load;
            }
        }
        written->Mark(at, stop);
        std::memcpy(target + at, record.data, record.count);
        extent = std::max(extent, stop);
    }
    if (endLine == 0)
        Warn(Message(Own::NoEndRecord));
    if (outside) {
        load.outcome = RecordLoad::Outcome::OutsideBuffer;
        return load;
    }
    // Said only once the file is known to load, so a second pass at
    // another base does not say it twice.
    for (const std::string& warning : warnings_)
        CurrentPrompts().showWarning(warning);
    load.outcome = RecordLoad::Outcome::Loaded;
    load.extent = static_cast<uint32_t>(extent);
    return load;
}

uint64_t RecordFile::LineWriting(uint64_t address, uint64_t beforeLine) {
    Restart();
    StartRecords();
    lineNumber_ = 0;
    while (NextLine() && ++lineNumber_ < beforeLine) {
        Record record;
        // These lines were parsed once already: nothing is said again.
        if (!line_.empty() && ParseRecord(record) && record.kind == Record::Kind::Data &&
            address >= record.address && address - record.address < record.count)
            return lineNumber_;
    }
    return 0;
}

void RecordFile::WarnWhenLinesFollow(uint64_t endLine) {
    while (NextLine()) {
        if (!line_.empty()) {
            Warn(FormatMessage(Own::NotReadAfterEnd, {std::to_string(endLine)}));
            return;
        }
    }
}

void RecordFile::Warn(std::string text) {
    warnings_.push_back(std::move(text));
}

bool RecordFile::Fail(const std::string& text) {
    FileErrorBox(FormatMessage(Own::InLine, {text, std::to_string(lineNumber_)}));
    return false;
}

bool RecordFile::OpenForRead(const std::string& fileName) {
    CloseInput();
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    if (!block_)
        block_.reset(new char[kReadBlock]); // no need to clear what is read over
    cur_ = end_ = block_.get();
    eof_ = false;
    return true;
}

void RecordFile::OpenText(std::string_view text) {
    CloseInput();
    text_ = text;
    Restart();
}

void RecordFile::Restart() {
    if (fd_ >= 0) {
        eof_ = ::lseek(fd_, 0, SEEK_SET) != 0;
        cur_ = end_ = block_.get();
        return;
    }
    cur_ = text_.data();
    end_ = text_.data() + text_.size();
    eof_ = true;
}

void RecordFile::CloseInput() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    text_ = {};
    cur_ = end_ = nullptr;
    eof_ = true;
    line_ = {};
}

void RecordFile::Refill() {
    // Keep the unread rest, then top the block up.
    size_t rest = static_cast<size_t>(end_ - cur_);
    std::memmove(block_.get(), cur_, rest);
    cur_ = block_.get();
    end_ = cur_ + rest;
    while (!eof_ && static_cast<size_t>(end_ - cur_) < kReadBlock / 2) {
        char* room = block_.get() + (end_ - cur_);
        ssize_t got = ::read(fd_, room, kReadBlock - static_cast<size_t>(end_ - cur_));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // A read error ends the input like the end of the file does.
            eof_ = true;
            break;
        }
        end_ += got;
    }
}

bool RecordFile::NextLine() {
    lineTooLong_ = false;
    if (!eof_ && static_cast<size_t>(end_ - cur_) < lineLimit_)
        Refill();
    const size_t avail = static_cast<size_t>(end_ - cur_);
    if (avail == 0) {
        line_ = {};
        return false;
    }
    const size_t take = std::min(avail, lineLimit_);
    const char* start = cur_;
    const void* lf = std::memchr(cur_, '\n', take);
    size_t length = lf ? static_cast<size_t>(static_cast<const char*>(lf) - cur_) : take;
    cur_ += lf ? length + 1 : length;
    if (!lf && (take < avail || !eof_)) {
        // Longer than any record: only its start is kept, to say what it is.
        lineTooLong_ = true;
        longHead_[0] = start[0];
        longHead_[1] = start[1];
        SkipRestOfLine();
        line_ = std::string_view(longHead_, 2);
        return true;
    }
    while (length > 0 && IsBlank(start[length - 1]))
        --length;
    line_ = std::string_view(start, length);
    return true;
}

void RecordFile::SkipRestOfLine() {
    for (;;) {
        if (const void* lf = std::memchr(cur_, '\n', static_cast<size_t>(end_ - cur_))) {
            cur_ = static_cast<const char*>(lf) + 1;
            return;
        }
        cur_ = end_;
        if (eof_)
            return;
        Refill();
        if (cur_ == end_)
            return;
    }
}

bool RecordFile::ParseHexField(size_t position, int digits, uint32_t& value) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        size_t at = position + static_cast<size_t>(i);
        int d = at < line_.size() ? kHexDigitValue[static_cast<uint8_t>(line_[at])] : -1;
        if (d < 0)
            return Fail(filetext::IllegalChar);
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    value = v;
    return true;
}

bool RecordFile::DecodeWholeLine(size_t position, uint32_t count) {
    const size_t need = position + 2 * size_t{count};
    const size_t have = std::min(need, line_.size());
    const auto* s = reinterpret_cast<const uint8_t*>(line_.data());
    for (size_t i = position, out = 0; i + 1 < have; i += 2, ++out) {
        const int hi = kHexDigitValue[s[i]];
        const int lo = kHexDigitValue[s[i + 1]];
        if ((hi | lo) < 0)
            return Fail(filetext::IllegalChar);
        bytes_[out] = static_cast<uint8_t>((hi << 4) | lo);
    }
    if (line_.size() < need)
        return Fail(filetext::IllegalChar);
    if (line_.size() > need)
        return Fail(Message(Own::JunkAfterChecksum));
    return true;
}

} // namespace vantor
