#include "app/RecentFiles.h"

#include "core/IniFile.h"

#include <algorithm>

namespace vantor {

namespace {

constexpr const char* kSection = "Recent";

std::string KeyFor(int index) {
    return "File" + std::to_string(index + 1);
}

} // namespace

void RecentFiles::add(const std::string& path) {
    if (path.empty())
        return;
    remove(path);
    Paths.insert(Paths.begin(), path);
    if (Paths.size() > std::size_t(kMaxFiles))
        Paths.resize(kMaxFiles);
}

void RecentFiles::remove(const std::string& path) {
    Paths.erase(std::remove(Paths.begin(), Paths.end(), path), Paths.end());
}

void RecentFiles::load(const IniFile& ini) {
    Paths.clear();
    for (int i = 0; i < kMaxFiles; ++i) {
        const std::string path = ini.value(kSection, KeyFor(i), "");
        if (!path.empty() && std::find(Paths.begin(), Paths.end(), path) == Paths.end())
            Paths.push_back(path);
    }
}

void RecentFiles::store(IniFile& ini) const {
    for (int i = 0; i < kMaxFiles; ++i) {
        if (std::size_t(i) < Paths.size())
            ini.setValue(kSection, KeyFor(i), Paths[std::size_t(i)]);
        else if (ini.value(kSection, KeyFor(i)))
            ini.setValue(kSection, KeyFor(i), ""); // no old name left behind
    }
}

} // namespace vantor
