#pragma once
// Where Vantor+ keeps its files. One answer for the window, the chip editor
// and vantor-cli:
//   - beside the executable when its folder is writable (the portable layout:
//     "vantor.ini" and "vantor.Dat" next to "vantor", as in the demo folder),
//     unless it is an installed copy: one with a shipped database in
//     ../share/vantor and none beside it;
//   - otherwise the settings in $XDG_CONFIG_HOME/vantor/vantor.ini, and the
//     chip database read from $XDG_DATA_HOME/vantor/vantor.Dat when the user
//     has one, else from the installed share/vantor/vantor.Dat; the chip
//     editor saves to the user's copy.
#include <functional>
#include <string>

namespace vantor {

struct FilePlaces {
    bool portable = false;
    std::string settings;        // read at start, written at close
    std::string database;        // the chip database that is read
    std::string databaseSave;    // where the chip editor saves it
    std::string shippedDatabase; // the installed copy (portable: the same as database)
};

// Reads one environment variable; std::getenv by default, tests pass their own.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The places for the main executable at `executablePath` (vantor-cli asks
// for the "vantor" beside it, so both use the same files).
FilePlaces ResolveFilePlaces(const std::string& executablePath, const EnvironmentLookup& env = {});

// `executablePath` with its extension replaced by `extension` (added when
// the file name has none): the portable place of a file of ours.
std::string BesideExecutable(const std::string& executablePath, const char* extension);

// The places as lines for people ("Settings: /path" ...), in the current
// language; `usbLibrary` is the library name the program loads.
std::string DescribeFilePlaces(const FilePlaces& places, const std::string& usbLibrary);

// Creates the folders above `path` that are missing; false when one cannot
// be made.
bool CreateParentFolders(const std::string& path);

// The file the dynamic loader takes for `library` (a bare name is searched
// as the executable's own dlopen would), or "" when it finds none.
std::string LoadedLibraryPath(const std::string& library);

} // namespace vantor
