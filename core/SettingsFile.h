#pragma once
// The settings file beside the executable: window placement, the chip chosen
// in the three chip boxes, the programming speed and the language. It is
// read once when the main window is created and written once when it closes.
// The window itself is reached through SettingsTarget so this stays free of
// widgets and can be tested alone.
#include "core/IniFile.h"

#include <optional>
#include <string>
#include <string_view>

namespace vantor {

// Defaults of a missing or unreadable key.
inline constexpr int kDefaultFormTop = 10;
inline constexpr int kDefaultFormLeft = 10;
inline constexpr int kDefaultFormHeight = 500;
inline constexpr int kDefaultFormWidth = 700;

// The one rule for numbers in the settings file: a decimal integer with an
// optional sign, or hexadecimal after "0x" / "0X" when the text is longer
// than those two characters. Empty, malformed or outside 32-bit signed range
// gives nullopt.
std::optional<int> ParseSettingsInteger(std::string_view text);

// The key's value by that rule, or `fallback` when missing or unreadable.
int ReadSettingsInteger(const IniFile& ini, std::string_view section, std::string_view key,
                        int fallback);

// `executablePath` with its extension replaced by ".ini" ("/opt/v/vantor"
// gives "/opt/v/vantor.ini", "/opt/v/vantor.bin" gives "/opt/v/vantor.ini").
std::string SettingsPathFor(const std::string& executablePath);
// The running executable's settings path (from /proc/self/exe, by its file
// places); empty when
// the executable's path cannot be found.
std::string DefaultSettingsPath();

// The text of the error box for a failed save, with the path in it.
std::string UnableToWriteText(const std::string& path);

// What the settings read and write on the main window.
class SettingsTarget {
public:
    struct Geometry {
        int top = 0;
        int left = 0;
        int height = 0;
        int width = 0;
    };
    struct ChipIndices {
        int type = 0;  // SelTypeIndex, INDEX1
        int maker = 0; // SelMakerIndex, INDEX2
        int name = 0;  // SelNameIndex, INDEX3
    };

    virtual ~SettingsTarget() = default;

    // Load, called in this order. setMaximized comes first and always; when
    // it is true the four geometry setters are not called at all.
    virtual void setMaximized(bool maximized) = 0;
    virtual void setTop(int top) = 0;
    virtual void setLeft(int left) = 0;
    virtual void setHeight(int height) = 0;
    virtual void setWidth(int width) = 0;
    // Stored now, applied when the chip database has been loaded; values
    // outside the lists leave that box without a selection.
    virtual void setChipIndices(int type, int maker, int name) = 0;
    // Only called when the file asks for it; the Device command is hidden
    // otherwise.
    virtual void showDeviceCommand() = 0;
    // The speed box's item index as read; outside 0..5 selects nothing.
    virtual void setSpeedIndex(int index) = 0;
    // Always 0..2 (see SettingsFile::load).
    virtual void setLanguageIndex(int index) = 0;
    // The folder the file dialogs last used; a key of our own, read last.
    virtual void setLastFolder(const std::string& folder) { (void)folder; }

    // Save. For a maximised window, geometry() gives its maximised bounds.
    virtual Geometry geometry() const = 0;
    virtual bool isMaximized() const = 0;
    virtual ChipIndices chipIndices() const = 0;
    virtual int speedIndex() const = 0; // -1 when nothing is selected
    virtual int languageIndex() const = 0;
    // Empty leaves whatever the file holds.
    virtual std::string lastFolder() const { return {}; }
};

class SettingsFile {
public:
    explicit SettingsFile(std::string path);
    // The settings file of the running executable.
    SettingsFile();

    const std::string& path() const { return path_; }

    // Reads the file and hands every value to `target` at once, in the order
    // of SettingsTarget. A missing or unreadable file gives the defaults.
    // A language index outside 0..2 is read as 0, the default, so captions,
    // messages and the menu's check mark all agree; the next save then
    // writes the value the window really used.
    void load(SettingsTarget& target) const;

    // Writes every key from `target` into the file as it is on disk now, so
    // keys and sections that others wrote meanwhile survive, then replaces
    // the file once, atomically. On failure (also when the existing file
    // cannot be read, which would otherwise lose its other content) the old
    // file is left whole and the result names the path.
    IniFile::SaveResult save(const SettingsTarget& target) const;

private:
    std::string path_;
};

} // namespace vantor
