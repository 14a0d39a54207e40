#include "core/IniFile.h"

#include "core/SafeSave.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool HasOuterBlanks(std::string_view s) {
    return !s.empty() && (kBlanks.find(s.front()) != std::string_view::npos ||
                          kBlanks.find(s.back()) != std::string_view::npos);
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

} // namespace

IniFile::Line IniFile::parseLine(std::string raw, std::string eol) {
    Line line{std::move(raw), std::move(eol), Kind::Other, {}};
    std::string_view body = Trim(line.raw);
    if (body.empty())
        return line;
    if (body.front() == '[') {
        const size_t close = body.find(']');
        if (close != std::string_view::npos) {
            line.kind = Kind::Section;
            line.name = std::string(Trim(body.substr(1, close - 1)));
        }
        return line;
    }
    if (body.front() == ';' || body.front() == '#')
        return line;
    const size_t eq = body.find('=');
    if (eq == std::string_view::npos)
        return line;
    std::string_view key = Trim(body.substr(0, eq));
    if (key.empty())
        return line;
    line.kind = Kind::Key;
    line.name = std::string(key);
    return line;
}

IniFile IniFile::fromText(std::string_view text) {
    IniFile ini;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        std::string_view piece =
            text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        std::string eol;
        if (nl != std::string_view::npos) {
            eol = "\n";
            if (!piece.empty() && piece.back() == '\r') {
                piece.remove_suffix(1);
                eol = "\r\n";
            }
        }
        Line line;
        if (ini.lines_.empty() && piece.starts_with(kUtf8Bom)) {
            // An editor's byte order mark must not hide the first header;
            // it stays in the raw text so the file comes back unchanged.
            line = parseLine(std::string(piece.substr(kUtf8Bom.size())), eol);
            line.raw = std::string(piece);
        } else {
            line = parseLine(std::string(piece), eol);
        }
        ini.lines_.push_back(std::move(line));
        if (nl == std::string_view::npos)
            break;
        pos = nl + 1;
    }
    return ini;
}

bool IniFile::load(const std::string& path, std::string* reason) {
    lines_.clear();
    // Non-blocking so that a FIFO at the path cannot hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return true; // no file yet: an empty document
        if (reason)
            *reason = ErrnoText(err);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (reason)
            *reason = "not a regular file";
        return false;
    }
    std::string data;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            if (reason)
                *reason = ErrnoText(err);
            return false;
        }
        if (n == 0)
            break;
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    *this = fromText(data);
    return true;
}

IniFile::Range IniFile::findSection(std::string_view section) const {
    size_t i = 0;
    if (!section.empty()) {
        while (i < lines_.size() &&
               !(lines_[i].kind == Kind::Section && EqualsIgnoreCase(lines_[i].name, section)))
            ++i;
        if (i == lines_.size())
            return {lines_.size(), lines_.size(), false};
        ++i; // body starts after the header
    }
    size_t end = i;
    while (end < lines_.size() && lines_[end].kind != Kind::Section)
        ++end;
    return {i, end, true};
}

std::optional<size_t> IniFile::findKey(const Range& range, std::string_view key) const {
    for (size_t i = range.begin; i < range.end; ++i)
        if (lines_[i].kind == Kind::Key && EqualsIgnoreCase(lines_[i].name, key))
            return i;
    return std::nullopt;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const Range range = findSection(section);
    if (!range.found)
        return std::nullopt;
    const auto at = findKey(range, key);
    if (!at)
        return std::nullopt;
    const std::string& raw = lines_[*at].raw;
    std::string_view v = Trim(std::string_view(raw).substr(raw.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string IniFile::value(std::string_view section, std::string_view key,
                           std::string_view fallback) const {
    auto v = value(section, key);
    return v ? *v : std::string(fallback);
}

bool IniFile::hasSection(std::string_view section) const {
    return findSection(section).found;
}

std::string IniFile::newLineEnd() const {
    for (const Line& line : lines_)
        if (!line.eol.empty())
            return line.eol;
    return "\n";
}

bool IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return false;
    if (section.find(']') != std::string_view::npos || HasOuterBlanks(section))
        return false;
    if (key.empty() || HasOuterBlanks(key) || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';' || key.front() == '#')
        return false;

    const std::string eol = newLineEnd();
    const Range range = findSection(section);
    if (const auto at = range.found ? findKey(range, key) : std::nullopt) {
        // Rewrite in place, keeping the key's spelling and the spacing
        // around "=" exactly as the file has them.
        std::string& raw = lines_[*at].raw;
        size_t start = raw.find('=') + 1;
        while (start < raw.size() && kBlanks.find(raw[start]) != std::string_view::npos)
            ++start;
        raw.replace(start, std::string::npos, value);
        return true;
    }

    Line keyLine = parseLine(std::string(key) + "=" + std::string(value), eol);
    auto insertAt = [&](size_t pos, Line line) {
        if (pos > 0 && lines_[pos - 1].eol.empty())
            lines_[pos - 1].eol = eol;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(line));
    };
    if (!range.found) {
        insertAt(lines_.size(), parseLine("[" + std::string(section) + "]", eol));
        insertAt(lines_.size(), std::move(keyLine));
        return true;
    }
    // After the section's last key, so comments and blank lines that lead
    // into the next section stay with it.
    size_t pos = range.begin;
    for (size_t i = range.begin; i < range.end; ++i)
        if (lines_[i].kind == Kind::Key)
            pos = i + 1;
    insertAt(pos, std::move(keyLine));
    return true;
}

std::string IniFile::text() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += line.eol;
    }
    return out;
}

IniFile::SaveResult IniFile::save(const std::string& path) const {
    SaveResult result;
    result.path = path;
    const std::string data = text();
    int error = 0;
    result.ok = SaveWholeFile(path, data.data(), data.size(), nullptr, &error);
    if (!result.ok)
        result.reason = ErrnoText(error);
    return result;
}

} // namespace vantor
