#pragma once
#include "core/AsciiText.h"
// A small INI document that edits a file the way a person would: section and
// key names compare without letter case, and every line we do not write
// (other sections, other keys, comments, blank lines, odd lines) stays as it
// is, in place. Values are bytes; nothing here assumes an encoding.
//
// Layout understood:
//   [Section]          a header; text after the closing bracket is ignored
//   key = value        blanks around key and value are not part of them
//   ; comment / # comment / anything without "="   kept, never interpreted
// Keys above the first header belong to the unnamed section "".
// When a section or a key appears twice, the first one counts, for reading
// and for writing; the later copies are kept as text.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

class IniFile {
public:
    // Outcome of a save. On failure the file at `path` is as it was before.
    struct SaveResult {
        bool ok = false;
        std::string path;   // the path the caller asked to write
        std::string reason; // system error text, empty on success
        explicit operator bool() const { return ok; }
    };

    IniFile() = default;

    // Parses `text` (LF or CRLF line ends, or a mix).
    static IniFile fromText(std::string_view text);

    // Reads the file at `path`. A missing file gives an empty document and
    // true; a file that exists but cannot be read gives an empty document
    // and false (`reason` receives the system's text when given).
    bool load(const std::string& path, std::string* reason = nullptr);

    // The value of `key` in `section`, blanks around it removed and one pair
    // of matching surrounding quotes ("..." or '...') taken off; nullopt when
    // the section or the key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string value(std::string_view section, std::string_view key,
                      std::string_view fallback) const;
    bool hasSection(std::string_view section) const;

    // Sets `key` in `section` to `value`: an existing line is rewritten in
    // place (keeping the key's spelling), otherwise the key goes after the
    // last key of its section, and a missing section is added at the end.
    // Refused (false, nothing changed) for names or values that would not
    // read back the same: line breaks anywhere, "=" or a leading "[", ";" or
    // "#" in a key, "]" in a section name, names that are empty or have
    // blanks around them (the unnamed section "" is allowed).
    bool setValue(std::string_view section, std::string_view key, std::string_view value);

    // The whole document as file text. Unchanged lines come back byte for
    // byte; new lines use the line end the document already uses (LF for a
    // document that has none yet).
    std::string text() const;

    // Replaces the file at `path` with text() as a whole (SafeFile): a
    // failure leaves the old file as it was, a read-only file is refused, a
    // symbolic link stays a link.
    SaveResult save(const std::string& path) const;

private:
    enum class Kind { Other, Section, Key };
    struct Line {
        std::string raw; // without its line end
        std::string eol; // "\n", "\r\n" or "" for a last line without one
        Kind kind = Kind::Other;
        std::string name; // section name or key name, trimmed
    };
    struct Range {
        size_t begin; // first line of the body (after the header)
        size_t end;   // one past the last line of the body
        bool found;
    };

    static Line parseLine(std::string raw, std::string eol);
    Range findSection(std::string_view section) const;
    std::optional<size_t> findKey(const Range& range, std::string_view key) const;
    std::string newLineEnd() const;

    std::vector<Line> lines_;
};

} // namespace vantor
