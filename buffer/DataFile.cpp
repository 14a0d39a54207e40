#include "buffer/DataFile.h"

#include "buffer/IntelHexFile.h"
#include "buffer/OutputFile.h"
#include "buffer/SRecordFile.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "core/SafeSave.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {
namespace {

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

// Raw image or capsule: the whole file size counts against the buffer,
// the first `skip` bytes are a header that is not loaded.
int32_t LoadRaw(const std::string& fileName, uint8_t* target, uint32_t bufferSize, uint32_t skip) {
    Fd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    // Only regular files have a size to check up front; a folder or a device
    // is not a data file.
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        CurrentPrompts().showError(filetext::CantOpenFile);
        return 0;
    }
    const uint64_t limit = std::min<uint64_t>(bufferSize, INT32_MAX);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size > limit) {
        CurrentPrompts().showError(filetext::TooBigForBuffer);
        return 0;
    }
    if (size <= skip) {
        CurrentPrompts().showWarning(
            skip == 0 ? FormatMessage(Own::NothingLoaded, {fileName})
                      : FormatMessage(Own::CapsuleTooShort, {fileName, std::to_string(skip)}));
        return 0;
    }
    uint64_t want = size - skip;
    uint64_t got = 0;
    while (got < want) {
        ssize_t n = ::pread(fd.get(), target + got, static_cast<size_t>(want - got),
                            static_cast<off_t>(skip + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // shrank or failed under us: what was read counts
        got += static_cast<uint64_t>(n);
    }
    return static_cast<int32_t>(got);
}

// A raw file that plainly holds Intel HEX or S-record text was most likely
// named wrongly: say so, and load it as its name says.
void WarnWhenTextLooksRaw(const std::string& fileName) {
    Fd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    char head[1024];
    const ssize_t n = fd.get() < 0 ? -1 : ::read(fd.get(), head, sizeof head);
    if (n <= 0)
        return;
    if (const auto format = SniffTextFormat(std::string_view(head, static_cast<size_t>(n))))
        CurrentPrompts().showWarning(FormatMessage(Own::LooksLikeText, {FormatLabel(*format)}));
}

RecordLoad LoadRecords(DataFileFormat format, const std::string& fileName, uint8_t* target,
                       uint32_t bufferSize, uint64_t base) {
    if (format == DataFileFormat::IntelHex)
        return IntelHexFile().Load(fileName, target, bufferSize, base);
    return SRecordFile().Load(fileName, target, bufferSize, base);
}

// A text file: from the base asked for, or, when its data lies outside the
// buffer from there, from a base the choice allows.
int32_t LoadText(DataFileFormat format, const std::string& fileName, uint8_t* target,
                 uint32_t bufferSize, const LoadRequest& request, uint64_t& base) {
    base = request.baseChoice == BaseChoice::Given ? request.base : 0;
    RecordLoad load = LoadRecords(format, fileName, target, bufferSize, base);
    if (load.outcome != RecordLoad::Outcome::OutsideBuffer) {
        if (load.outcome == RecordLoad::Outcome::Loaded && load.extent == 0)
            CurrentPrompts().showWarning(FormatMessage(Own::NothingLoaded, {fileName}));
        return load.outcome == RecordLoad::Outcome::Loaded ? static_cast<int32_t>(load.extent) : 0;
    }
    const uint64_t offered = RoundedBase(load.span.lowest);
    const bool fits = load.span.end - offered <= std::min<uint64_t>(bufferSize, INT32_MAX);
    const std::string where =
        FormatMessage(Own::DataOutside,
                      {Hex(load.span.lowest), Hex(load.span.end - 1), Hex(bufferSize), Hex(base)});
    if (!fits || request.baseChoice == BaseChoice::Given) {
        CurrentPrompts().showFileMessage(
            fits && request.baseChoice == BaseChoice::Given
                ? where + " " + FormatMessage(Own::TryBase, {"0x" + Hex(offered)})
                : where);
        return 0;
    }
    if (request.baseChoice == BaseChoice::Ask &&
        !CurrentPrompts().askYesNo(where + "\n" + FormatMessage(Own::LoadFromBase, {Hex(offered)})))
        return 0;
    base = offered;
    load = LoadRecords(format, fileName, target, bufferSize, base);
    return load.outcome == RecordLoad::Outcome::Loaded ? static_cast<int32_t>(load.extent) : 0;
}

// A FIFO the save would wait on for good when nobody reads it: opened
// without waiting, and handed to the save as an open descriptor so it is
// not opened twice. -1 (after saying so) when nobody reads it.
int OpenFifoWithReader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENXIO)
            CurrentPrompts().showError(FormatMessage(Own::NobodyReads, {path}));
        else
            CurrentPrompts().showError(Message(10));
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool SaveRaw(const std::string& fileName, const uint8_t* data, uint32_t count, uint32_t header) {
    OutputFile out;
    if (!out.Create(fileName)) {
        CurrentPrompts().showError(filetext::CreateFileFailed);
        return false;
    }
    // A capsule we write has a blank header, so it reads back as the image.
    if (header > 0) {
        std::memset(out.Reserve(header), 0xFF, header);
        out.Advance(header);
    }
    out.Append(data, count);
    if (!out.Commit()) {
        CurrentPrompts().showError(Message(10));
        return false;
    }
    return true;
}

bool SaveFormatted(DataFileFormat format, const std::string& fileName, const uint8_t* data,
                   uint32_t count, uint64_t base) {
    bool written = false;
    switch (format) {
    case DataFileFormat::SRecord:
        written = SRecordFile().Write(fileName, data, count, base);
        break;
    case DataFileFormat::IntelHex:
        written = IntelHexFile().Write(fileName, data, count, base);
        break;
    case DataFileFormat::Capsule:
        return SaveRaw(fileName, data, count, CapsuleHeaderSize);
    case DataFileFormat::Raw:
        return SaveRaw(fileName, data, count, 0);
    }
    if (!written)
        CurrentPrompts().showError(Message(10));
    return written;
}

} // namespace

uint64_t RoundedBase(uint64_t lowest) {
    return lowest & ~uint64_t{0xFFFF};
}

int32_t LoadDataFile(const std::string& fileName, uint8_t* target, uint32_t bufferSize,
                     const LoadRequest& request, uint64_t* baseUsed) {
    uint64_t base = 0;
    int32_t loaded = 0;
    const DataFileFormat format = request.format.value_or(FormatForPath(fileName));
    switch (format) {
    case DataFileFormat::IntelHex:
    case DataFileFormat::SRecord:
        loaded = LoadText(format, fileName, target, bufferSize, request, base);
        break;
    case DataFileFormat::Capsule:
        loaded = LoadRaw(fileName, target, bufferSize, CapsuleHeaderSize);
        break;
    case DataFileFormat::Raw:
        if (!request.format)
            WarnWhenTextLooksRaw(fileName);
        loaded = LoadRaw(fileName, target, bufferSize, 0);
        break;
    }
    if (baseUsed)
        *baseUsed = base;
    return loaded;
}

bool SaveDataFile(const std::string& fileName, const uint8_t* data, uint32_t count,
                  const SaveRequest& request) {
    // Only a file that would be replaced is asked about; a stream (a FIFO,
    // /dev/stdout) is written to, not covered.
    struct stat st {};
    const bool named = NamedDescriptor(fileName) >= 0;
    const bool exists = !named && ::stat(fileName.c_str(), &st) == 0;
    if (exists && S_ISREG(st.st_mode) && !CurrentPrompts().askYesNo(Message(9)))
        return false;
    const DataFileFormat format = request.format.value_or(FormatForPath(fileName));
    if (exists && S_ISFIFO(st.st_mode) && request.refuseUnreadFifo) {
        Fd fifo(OpenFifoWithReader(fileName));
        return fifo.get() >= 0 && SaveFormatted(format, "/dev/fd/" + std::to_string(fifo.get()),
                                                data, count, request.base);
    }
    return SaveFormatted(format, fileName, data, count, request.base);
}

int32_t LoadIntoDataBuffer(DataBuffer& buffer, const std::string& fileName,
                           const LoadRequest& request) {
    std::memset(buffer.data(), 0xFF, DataBuffer::size());
    uint64_t base = 0;
    buffer.UsedLength = LoadDataFile(fileName, buffer.data(), DataBuffer::size(), request, &base);
    buffer.LoadBase = base;
    return buffer.UsedLength;
}

bool OpenDataFileCommand(DataBuffer& buffer, const DataFileHooks& hooks) {
    const std::string path = CurrentPrompts().chooseOpenFile("", OpenFileFilter());
    if (path.empty())
        return false;
    LoadRequest request;
    request.format = FormatForFilter(CurrentPrompts().chosenOpenFilter());
    request.baseChoice = BaseChoice::Ask;
    LoadIntoDataBuffer(buffer, path, request);
    // The pane and the log show the attempt whether or not it loaded.
    if (hooks.RefreshHexView)
        hooks.RefreshHexView();
    if (hooks.LogLine)
        hooks.LogLine(Message(22) + path);
    return true;
}

bool SaveDataFileCommand(DataBuffer& buffer, uint32_t flashSize, const DataFileHooks& hooks) {
    std::string path = CurrentPrompts().chooseSaveFile("", SaveFileFilter());
    if (path.empty())
        return false;
    // The filter chosen says what the file holds, and what a bare name ends
    // in; "All files" leaves both to the name.
    const std::string filter = CurrentPrompts().chosenSaveFilter();
    if (FileExtension(path).empty())
        path += ExtensionForSaveFilter(filter);
    if (hooks.SyncBufferFromEditor)
        hooks.SyncBufferFromEditor();
    SaveRequest request;
    request.format = FormatForFilter(filter);
    request.base = buffer.LoadBase;
    request.refuseUnreadFifo = true; // the window must never hang on one
    // A chip record larger than the buffer must not make us read past it.
    const uint32_t count = std::min(flashSize, DataBuffer::size());
    return SaveDataFile(path, buffer.data(), count, request);
}

} // namespace vantor
