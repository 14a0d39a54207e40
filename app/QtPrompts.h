#pragma once
#include "core/Prompts.h"

#include <QString>

class QWidget;

namespace vantor {

// The prompts seam answered with real message boxes and file dialogs.
class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* owner) : owner_(owner) {}
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void showInformation(const std::string& text) override;
    void showFileMessage(const std::string& text) override;
    std::string chooseOpenFile(const std::string& title, const std::string& filter) override;
    std::string chooseSaveFile(const std::string& title, const std::string& filter) override;
    std::string chosenSaveFilter() const override { return saveFilter_; }
    std::string chosenOpenFilter() const override { return openFilter_; }
    // Where the dialogs start and where they note the folder last used.
    void setFolderMemory(std::string* folder) { folder_ = folder; }

private:
    QString startFolder() const;
    void noteFolder(const QString& chosen);

    QWidget* owner_;
    std::string* folder_ = nullptr;
    std::string saveFilter_; // kept between dialogs, as the user last chose it
    std::string openFilter_; // the filter of the last file opened
};

} // namespace vantor
