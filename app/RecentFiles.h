#pragma once
// The files opened last, newest first, as the File menu lists them; kept in
// the settings file beside the window's other settings.
#include <string>
#include <vector>

namespace vantor {

class IniFile;

class RecentFiles {
public:
    static constexpr int kMaxFiles = 8;

    const std::vector<std::string>& paths() const { return Paths; }
    // To the top; a path already listed moves there; the oldest beyond
    // kMaxFiles drops off.
    void add(const std::string& path);
    void remove(const std::string& path);

    // [Recent] File1 .. File8; empty and repeated entries are skipped.
    void load(const IniFile& ini);
    // Writes the list; keys of a longer old list are emptied.
    void store(IniFile& ini) const;

private:
    std::vector<std::string> Paths;
};

} // namespace vantor
