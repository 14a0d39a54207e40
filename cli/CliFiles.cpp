#include "cli/CliFiles.h"

#include "buffer/DataFile.h"
#include "cli/CliJob.h"
#include "cli/CliSteps.h"
#include "core/MessageTable.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

std::string OutputPath(const std::string& path) {
    return path == "-" ? "/dev/stdout" : path;
}

bool ReadableFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

int LoadInput(DataBuffer& buffer, const std::string& path, CliPrompts& prompts) {
    // The text codecs say nothing about a file they cannot open.
    if (!ReadableFile(path)) {
        Complain(path + ": " + filetext::CantOpenFile);
        return kBadInput;
    }
    const int before = prompts.complaints();
    prompts.setSubject(path);
    const int32_t loaded = LoadIntoDataBuffer(buffer, path);
    prompts.setSubject({});
    // Refused with the codec's own message, already shown.
    return loaded == 0 && prompts.complaints() != before ? kBadInput : kDone;
}

bool OverwriteDeclinedAhead(const std::string& path, bool assumeYes) {
    struct stat st {};
    if (assumeYes || path == "-" || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        (isatty(0) && isatty(2))) {
        return false;
    }
    Complain(path + ": " + Message(Msg::FileExists) + "[no: --yes answers yes]");
    return true;
}

bool OutputCreatable(const std::string& path) {
    if (path == "-") {
        return true; // stdout
    }
    std::string target = path;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    int error = 0;
    if (exists && S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (exists && !S_ISREG(st.st_mode)) {
        return true;
    } else if (exists && ::access(path.c_str(), W_OK) != 0) {
        error = errno;
    }
    if (exists && error == 0) {
        // A symlink is replaced at the file it points to.
        if (char* real = ::realpath(path.c_str(), nullptr); real != nullptr) {
            target = real;
            std::free(real);
        }
    }
    if (error == 0) {
        const auto slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : target.substr(0, slash);
        if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            error = errno;
        }
    }
    if (error == 0) {
        return true;
    }
    Complain(FormatMessage(Own::CannotCreateOutput, {path, std::strerror(error)}));
    return false;
}

int SaveOutput(const DataBuffer& buffer, const std::string& path, std::uint32_t count,
               CliPrompts& prompts) {
    const int declinedBefore = prompts.declined();
    prompts.setSubject(path);
    const bool saved = SaveDataFile(path, buffer.data(), count);
    prompts.setSubject({});
    if (saved) {
        return kDone;
    }
    return prompts.declined() != declinedBefore ? kFailed : kBadInput;
}

} // namespace vantor
