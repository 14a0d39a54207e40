// The main window as the settings file sees it: what is read at creation and
// written at close.
#include "app/MainWindow.h"
#include "core/MessageTable.h"
#include "core/SettingsFile.h"

#include <QAction>
#include <QComboBox>

namespace vantor {

namespace {

class MainWindowSettings : public SettingsTarget {
public:
    explicit MainWindowSettings(MainWindow& form) : form_(form) {}

    void setMaximized(bool maximized) override {
        if (maximized)
            form_.setWindowState(form_.windowState() | Qt::WindowMaximized);
    }
    void setTop(int top) override { form_.move(form_.x(), top); }
    void setLeft(int left) override { form_.move(left, form_.y()); }
    void setHeight(int height) override { form_.resize(form_.width(), height); }
    void setWidth(int width) override { form_.resize(width, form_.height()); }
    void setChipIndices(int type, int maker, int name) override {
        form_.Selection.SelTypeIndex = type;
        form_.Selection.SelMakerIndex = maker;
        form_.Selection.SelNameIndex = name;
    }
    void showDeviceCommand() override {
        form_.ToolDevice->setVisible(true);
        form_.N3->setVisible(true);
    }
    void setSpeedIndex(int index) override {
        // Out of range leaves the box without a selection, as the file says.
        form_.ComboBox4->setCurrentIndex(index >= 0 && index < form_.ComboBox4->count() ? index
                                                                                        : -1);
    }
    void setLanguageIndex(int index) override { SetCurrentLanguage(index); }
    void setLastFolder(const std::string& folder) override { form_.LastFolder = folder; }

    Geometry geometry() const override {
        return {form_.y(), form_.x(), form_.height(), form_.width()};
    }
    bool isMaximized() const override { return form_.isMaximized(); }
    ChipIndices chipIndices() const override {
        return {form_.Selection.SelTypeIndex, form_.Selection.SelMakerIndex,
                form_.Selection.SelNameIndex};
    }
    int speedIndex() const override { return form_.ComboBox4->currentIndex(); }
    int languageIndex() const override { return form_.LanguageIndex(); }
    std::string lastFolder() const override { return form_.LastFolder; }

private:
    MainWindow& form_;
};

} // namespace

void MainWindow::FormCreate() {
    Settings = std::make_unique<SettingsFile>(places_.settings);
    MainWindowSettings target(*this);
    Settings->load(target);
    loadWindowExtras();
}

bool MainWindow::FormClose() {
    if (!Settings)
        return true;
    MainWindowSettings target(*this);
    if (!places_.portable)
        CreateParentFolders(places_.settings); // the first close makes the user's folder
    IniFile::SaveResult saved = Settings->save(target);
    if (!saved)
        // The old file stays whole; the user is told, and may still leave.
        ShowError(QString::fromStdString(UnableToWriteText(saved.path)));
    else
        saveWindowExtras();
    Settings.reset();
    return true;
}

} // namespace vantor
