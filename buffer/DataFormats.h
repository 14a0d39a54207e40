#pragma once
// The one table of data file formats and the extensions that name them:
// reading and writing, the file dialogs' filters, the command line's
// --format and its help all come from here, so no name reads back as
// something other than what it was written as.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

enum class DataFileFormat { Raw, Capsule, IntelHex, SRecord };

struct DataFormatEntry {
    DataFileFormat format;
    const char* label;                   // the file dialogs' name for it
    std::vector<const char*> extensions; // with their dots, lower case
};

// The dialogs' entries in their order; a format may have more than one.
const std::vector<DataFormatEntry>& DataFormatTable();

// --format's word for a format ("hex", "srec", "raw", "cap") and back.
const char* FormatWord(DataFileFormat format);
std::optional<DataFileFormat> FormatFromWord(std::string_view word);
// Every word, "hex|srec|raw|cap".
std::string FormatWords();
// The format's extensions as "*.hex *.ihx ..." (raw: the ones it is offered with).
std::string ExtensionPatterns(DataFileFormat format);
// Its name in the dialogs and messages ("Intel Hex", "Motorola S-record").
const char* FormatLabel(DataFileFormat format);

// The extension of the file name itself (from its last "."), lower case,
// with the dot; empty when the name has none. Folder names do not count.
std::string FileExtension(std::string_view path);
// The format the table gives the name's extension; anything else is raw.
DataFileFormat FormatForPath(std::string_view path);

// File dialog filters, in the "Name (patterns);;Name (patterns)" form of
// Qt's file dialogs; the first entry is the one preselected. Open's first
// entry, every file we can read, is named in the current language.
std::string OpenFileFilter();
std::string SaveFileFilter();
// The format a filter entry stands for; none for "All files" and the
// "every file we read" entry, where the name decides.
std::optional<DataFileFormat> FormatForFilter(std::string_view filter);
// The extension, with its dot, that a save through `filter` gives a name
// without one: the filter's first pattern; none for "All files".
std::string ExtensionForSaveFilter(std::string_view filter);

// The text format the start of a file plainly is: its first line that is
// not blank is a whole record with a right checksum. None otherwise.
std::optional<DataFileFormat> SniffTextFormat(std::string_view head);

} // namespace vantor
