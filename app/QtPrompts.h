#pragma once
#include "core/Prompts.h"

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

private:
    QWidget* owner_;
};

} // namespace vantor
