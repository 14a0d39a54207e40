#include "buffer/RecordFile.h"

#include "core/Prompts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vantor {
namespace {

// Reading goes through blocks this large, so a file costs one system call per
// megabyte, not one per line.
constexpr size_t kReadBlock = 1 << 20;

constexpr char kUpperDigits[] = "0123456789ABCDEF";

} // namespace

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

RecordFile::RecordFile(size_t lineBufferSize) : lineBufferSize_(lineBufferSize) {}

RecordFile::~RecordFile() {
    CloseInput();
}

int32_t RecordFile::Read(const std::string& fileName, uint8_t* target, uint32_t bufferSize) {
    if (!OpenForRead(fileName))
        return 0;
    int32_t result = ReadRecords(target, bufferSize);
    CloseInput();
    return result;
}

int32_t RecordFile::ReadText(std::string_view text, uint8_t* target, uint32_t bufferSize) {
    OpenText(text);
    int32_t result = ReadRecords(target, bufferSize);
    CloseInput();
    return result;
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
    cur_ = text.data();
    end_ = text.data() + text.size();
    eof_ = true;
}

void RecordFile::CloseInput() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
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
    while (!eof_ && static_cast<size_t>(end_ - cur_) < lineBufferSize_) {
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

bool RecordFile::ReadRecordLine() {
    if (!eof_ && static_cast<size_t>(end_ - cur_) < lineBufferSize_)
        Refill();
    size_t avail = static_cast<size_t>(end_ - cur_);
    if (avail == 0) {
        line_ = {};
        FileErrorBox(filetext::ReadFailed);
        return false;
    }
    size_t take = std::min(avail, lineBufferSize_);
    const void* lf = std::memchr(cur_, '\n', take);
    size_t length = lf ? static_cast<size_t>(static_cast<const char*>(lf) - cur_) + 1 : take;
    line_ = std::string_view(cur_, length);
    cur_ += length;
    return true;
}

void RecordFile::SkipRestOfLine() {
    if (!line_.empty() && line_.back() == '\n')
        return;
    for (;;) {
        const void* lf = std::memchr(cur_, '\n', static_cast<size_t>(end_ - cur_));
        if (lf) {
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
        if (d < 0) {
            FileErrorBox(filetext::IllegalChar);
            return false;
        }
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    value = v;
    return true;
}

bool RecordFile::ParseHexBytes(size_t position, uint32_t count, uint8_t* out, uint32_t& sum) {
    // Only the bytes whose two digits lie inside the line are looked at.
    size_t inLine = position < line_.size() ? (line_.size() - position) / 2 : 0;
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, inLine));
    const auto* s = reinterpret_cast<const uint8_t*>(line_.data()) + (n > 0 ? position : 0);
    uint32_t total = sum;
    for (uint32_t i = 0; i < n; ++i) {
        int hi = kHexDigitValue[s[2 * i]];
        int lo = kHexDigitValue[s[2 * i + 1]];
        if ((hi | lo) < 0) {
            sum = total;
            FileErrorBox(filetext::IllegalChar);
            return false;
        }
        uint8_t b = static_cast<uint8_t>((hi << 4) | lo);
        out[i] = b;
        total += b;
    }
    sum = total;
    if (n < count) {
        FileErrorBox(filetext::IllegalChar);
        return false;
    }
    return true;
}

} // namespace vantor
