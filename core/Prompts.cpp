#include "core/Prompts.h"

namespace vantor {
namespace {

class SilentPrompts : public Prompts {
public:
    void showError(const std::string&) override {}
    bool askYesNo(const std::string&) override { return false; }
    void showInformation(const std::string&) override {}
    void showFileMessage(const std::string&) override {}
    std::string chooseOpenFile(const std::string&, const std::string&) override { return {}; }
    std::string chooseSaveFile(const std::string&, const std::string&) override { return {}; }
};

SilentPrompts g_silent;
Prompts* g_current = &g_silent;

} // namespace

Prompts& CurrentPrompts() {
    return *g_current;
}
void InstallPrompts(Prompts* prompts) {
    g_current = prompts ? prompts : &g_silent;
}

void RecordingPrompts::showError(const std::string& text) {
    log.push_back({"error", text});
}

bool RecordingPrompts::askYesNo(const std::string& text) {
    log.push_back({"question", text});
    if (yesNoAnswers.empty())
        return false;
    bool answer = yesNoAnswers.front();
    yesNoAnswers.erase(yesNoAnswers.begin());
    return answer;
}

void RecordingPrompts::showInformation(const std::string& text) {
    log.push_back({"information", text});
}

void RecordingPrompts::showFileMessage(const std::string& text) {
    log.push_back({"file", text});
}

std::string RecordingPrompts::nextFileAnswer() {
    if (fileAnswers.empty())
        return {};
    std::string answer = fileAnswers.front();
    fileAnswers.erase(fileAnswers.begin());
    return answer;
}

std::string RecordingPrompts::chooseOpenFile(const std::string& title, const std::string&) {
    log.push_back({"open", title});
    return nextFileAnswer();
}

std::string RecordingPrompts::chooseSaveFile(const std::string& title, const std::string&) {
    log.push_back({"save", title});
    return nextFileAnswer();
}

std::vector<std::string> RecordingPrompts::texts(const std::string& kind) const {
    std::vector<std::string> out;
    for (const auto& e : log)
        if (e.kind == kind)
            out.push_back(e.text);
    return out;
}

} // namespace vantor
