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
    if (size <= skip)
        return 0;
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

} // namespace

std::string FileExtension(std::string_view path) {
    size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string ext(name.substr(dot));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

namespace {

// The names other tools give S-record files; always read and written as such.
bool IsSRecordName(const std::string& ext) {
    return ext == ".s19" || ext == ".srec" || ext == ".mot";
}

constexpr const char* kSaveFilters = "Binary (*.bin);;Intel Hex(*.hex);;Bios Rom (*.rom);;"
                                     "Motorola S-record (*.srec *.s19 *.mot *.src);;All files (*)";

} // namespace

std::string OpenFileFilter() {
    return Message(Own::AllSupportedFiles) +
           " (*.bin *.rom *.cap *.hex *.eep *.src *.s19 *.srec *.mot);;"
           "Binary (*.bin);;Intel Hex(*.hex);;Bios Rom (*.rom);;Asus Rom (*.cap);;"
           "Motorola S-record (*.srec *.s19 *.mot *.eep);;All files (*)";
}

std::string SaveFileFilter() {
    return kSaveFilters;
}

std::string ExtensionForSaveFilter(std::string_view filter) {
    const size_t star = filter.find("(*.");
    if (star == std::string_view::npos)
        return std::string(".") + SaveDefaultExtension;
    const size_t from = star + 2;
    const size_t to = filter.find_first_of(" )", from);
    return std::string(filter.substr(from, to == std::string_view::npos ? to : to - from));
}

DataFileFormat SaveFormatFor(std::string_view path) {
    std::string ext = FileExtension(path);
    if (ext == ".hex")
        return DataFileFormat::IntelHex;
    if (ext == ".src" || IsSRecordName(ext))
        return DataFileFormat::SRecord;
    return DataFileFormat::Raw;
}

int32_t LoadDataFile(const std::string& fileName, uint8_t* target, uint32_t bufferSize) {
    const std::string ext = FileExtension(fileName);
    DataFileFormat format = DataFileFormat::Raw;
    if (ext == ".eep") {
        // The first character tells an ".eep" file's format.
        Fd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) {
            CurrentPrompts().showError(filetext::CantOpenFile);
            return 0;
        }
        char first = 0;
        if (::read(fd.get(), &first, 1) == 1) {
            if (first == ':')
                format = DataFileFormat::IntelHex;
            else if (first == 'S')
                format = DataFileFormat::SRecord;
        }
    } else if (ext == ".hex") {
        format = DataFileFormat::IntelHex;
    } else if (IsSRecordName(ext)) {
        format = DataFileFormat::SRecord;
    } else if (ext == ".cap") {
        format = DataFileFormat::Capsule;
    }

    switch (format) {
    case DataFileFormat::IntelHex:
        return IntelHexFile().Read(fileName, target, bufferSize);
    case DataFileFormat::SRecord:
        return SRecordFile().Read(fileName, target, bufferSize);
    case DataFileFormat::Capsule:
        return LoadRaw(fileName, target, bufferSize, CapsuleHeaderSize);
    case DataFileFormat::Raw:
        break;
    }
    return LoadRaw(fileName, target, bufferSize, 0);
}

bool SaveDataFile(const std::string& fileName, const uint8_t* data, uint32_t count) {
    // Only a file that would be replaced is asked about; a stream (a FIFO,
    // /dev/stdout) is written to, not covered.
    struct stat st {};
    if (NamedDescriptor(fileName) < 0 && ::stat(fileName.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode) && !CurrentPrompts().askYesNo(Message(9)))
        return false;
    switch (SaveFormatFor(fileName)) {
    case DataFileFormat::SRecord:
        if (!SRecordFile().Write(fileName, data, count)) {
            CurrentPrompts().showError(Message(10));
            return false;
        }
        return true;
    case DataFileFormat::IntelHex:
        if (!IntelHexFile().Write(fileName, data, count)) {
            CurrentPrompts().showError(Message(10));
            return false;
        }
        return true;
    default:
        break;
    }
    OutputFile out;
    if (!out.Create(fileName)) {
        CurrentPrompts().showError(filetext::CreateFileFailed);
        return false;
    }
    out.Append(data, count);
    if (!out.Commit()) {
        CurrentPrompts().showError(Message(10));
        return false;
    }
    return true;
}

int32_t LoadIntoDataBuffer(DataBuffer& buffer, const std::string& fileName) {
    std::memset(buffer.data(), 0xFF, DataBuffer::size());
    buffer.UsedLength = LoadDataFile(fileName, buffer.data(), DataBuffer::size());
    return buffer.UsedLength;
}

bool OpenDataFileCommand(DataBuffer& buffer, const DataFileHooks& hooks) {
    const std::string path = CurrentPrompts().chooseOpenFile("", OpenFileFilter());
    if (path.empty())
        return false;
    LoadIntoDataBuffer(buffer, path);
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
    // The filter chosen says what a bare name holds, and the name says it too.
    if (FileExtension(path).empty())
        path += ExtensionForSaveFilter(CurrentPrompts().chosenSaveFilter());
    if (hooks.SyncBufferFromEditor)
        hooks.SyncBufferFromEditor();
    // A chip record larger than the buffer must not make us read past it.
    const uint32_t count = std::min(flashSize, DataBuffer::size());
    return SaveDataFile(path, buffer.data(), count);
}

} // namespace vantor
