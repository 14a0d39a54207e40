#include "core/FilePlaces.h"

#include "core/MessageTable.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#ifndef VANTOR_DATADIR_FROM_BINDIR
#define VANTOR_DATADIR_FROM_BINDIR "../share/vantor"
#endif

namespace vantor {
namespace {

namespace fs = std::filesystem;

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// $NAME when set to an absolute path (relative ones are to be ignored), else
// $HOME/fallback.
std::string XdgFolder(const EnvironmentLookup& env, const char* name, const char* fallback) {
    const char* value = env(name);
    if (value != nullptr && value[0] == '/')
        return value;
    const char* home = env("HOME");
    return std::string(home != nullptr && *home != '\0' ? home : ".") + "/" + fallback;
}

} // namespace

std::string BesideExecutable(const std::string& executablePath, const char* extension) {
    fs::path p(executablePath);
    p.replace_extension(extension);
    return p.string();
}

FilePlaces ResolveFilePlaces(const std::string& executablePath, const EnvironmentLookup& env) {
    const EnvironmentLookup lookup = env ? env : [](const char* name) { return std::getenv(name); };
    FilePlaces places;
    const std::string bin = Folder(executablePath);
    const std::string shipped =
        fs::path(bin + "/" VANTOR_DATADIR_FROM_BINDIR "/vantor.Dat").lexically_normal().string();
    const std::string beside = BesideExecutable(executablePath, ".Dat");
    std::error_code ec;
    // An installed copy stays installed when its folder happens to be
    // writable (root running /usr/bin/vantor): it has a shipped database and
    // none beside it.
    places.portable =
        ::access(bin.c_str(), W_OK) == 0 && (fs::exists(beside, ec) || !fs::exists(shipped, ec));
    if (places.portable) {
        places.settings = BesideExecutable(executablePath, ".ini");
        places.database = beside;
        places.databaseSave = places.database;
        places.shippedDatabase = places.database;
        return places;
    }
    places.settings = XdgFolder(lookup, "XDG_CONFIG_HOME", ".config") + "/vantor/vantor.ini";
    places.databaseSave = XdgFolder(lookup, "XDG_DATA_HOME", ".local/share") + "/vantor/vantor.Dat";
    places.shippedDatabase = shipped;
    places.database =
        fs::exists(places.databaseSave, ec) ? places.databaseSave : places.shippedDatabase;
    return places;
}

std::string DescribeFilePlaces(const FilePlaces& places, const std::string& usbLibrary) {
    const std::string loaded = LoadedLibraryPath(usbLibrary);
    std::string text =
        "(" + Message(places.portable ? Own::PlacePortable : Own::PlaceInstalled) + ")\n";
    auto line = [&](int label, const std::string& value) {
        text += Message(label) + ": " + value + "\n";
    };
    line(Own::PlaceSettings, places.settings);
    line(Own::PlaceDatabase, places.database);
    if (places.databaseSave != places.database)
        line(Own::PlaceDatabaseSave, places.databaseSave);
    line(Own::PlaceUsbLibrary,
         loaded.empty() ? usbLibrary + " (" + Message(Own::PlaceNotFound) + ")" : loaded);
    return text;
}

bool CreateParentFolders(const std::string& path) {
    std::error_code ec;
    const std::string folder = Folder(path);
    if (fs::is_directory(folder, ec))
        return true;
    fs::create_directories(folder, ec);
    return !ec;
}

std::string LoadedLibraryPath(const std::string& library) {
    void* handle = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr)
        return {};
    std::string path;
    link_map* map = nullptr;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr)
        path = map->l_name;
    ::dlclose(handle);
    std::error_code ec;
    const auto canonical = fs::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

} // namespace vantor
