#pragma once
// The one seam through which the program asks or tells the user something in
// a box. The windows install an implementation with real message boxes and
// file dialogs; tests and the command-line front end install their own.
#include <string>
#include <vector>

namespace vantor {

class Prompts {
public:
    virtual ~Prompts() = default;
    // "Error" box, error icon, one OK button.
    virtual void showError(const std::string& text) = 0;
    // "Info" box, question icon, Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // "Information" box, information icon, one OK button.
    virtual void showInformation(const std::string& text) = 0;
    // The file codecs' fixed English messages ("Error" box, OK).
    virtual void showFileMessage(const std::string& text) = 0;
    // Something the user should know about a file that was used anyway.
    virtual void showWarning(const std::string& text) { showInformation(text); }
    // File dialogs; an empty result means the user cancelled.
    virtual std::string chooseOpenFile(const std::string& title, const std::string& filter) = 0;
    virtual std::string chooseSaveFile(const std::string& title, const std::string& filter) = 0;
    // The filter entry chosen in the last save or open dialog; empty when unknown.
    virtual std::string chosenSaveFilter() const { return {}; }
    virtual std::string chosenOpenFilter() const { return {}; }
};

// The installed implementation. Until one is installed a silent default
// answers No and cancels every dialog, so nothing ever blocks on a display.
Prompts& CurrentPrompts();
// Installs `prompts` (not owned); nullptr restores the silent default.
void InstallPrompts(Prompts* prompts);

// Records everything it is asked and answers from a queue: for tests.
class RecordingPrompts : public Prompts {
public:
    struct Entry {
        std::string kind; // "error", "question", "information", "file", "open", "save"
        std::string text;
    };
    std::vector<Entry> log;
    std::vector<bool> yesNoAnswers;       // consumed front first; No when empty
    std::vector<std::string> fileAnswers; // consumed front first; cancel when empty
    std::string saveFilter;               // what chosenSaveFilter answers
    std::string openFilter;               // what chosenOpenFilter answers

    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void showInformation(const std::string& text) override;
    void showFileMessage(const std::string& text) override;
    std::string chooseOpenFile(const std::string& title, const std::string& filter) override;
    std::string chooseSaveFile(const std::string& title, const std::string& filter) override;
    std::string chosenSaveFilter() const override { return saveFilter; }
    std::string chosenOpenFilter() const override { return openFilter; }

    // Texts of the entries of one kind, in order.
    std::vector<std::string> texts(const std::string& kind) const;
    void clear() { log.clear(); }

private:
    std::string nextFileAnswer();
};

// Installs a recorder for the life of a scope.
class ScopedPrompts {
public:
    explicit ScopedPrompts(Prompts& prompts) { InstallPrompts(&prompts); }
    ~ScopedPrompts() { InstallPrompts(nullptr); }
    ScopedPrompts(const ScopedPrompts&) = delete;
    ScopedPrompts& operator=(const ScopedPrompts&) = delete;
};

} // namespace vantor
