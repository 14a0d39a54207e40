#pragma once
// One chip operation between open and close, for the engine figures.
#include "chipdb/ChipRecord.h"
#include "link/ChipEngine.h"
#include "link/EngineHost.h"

#include <string>

namespace vantor::bench {

// A front end that shows nothing and answers Yes: the figures' hosts
// override only what they measure.
class SilentHost : public EngineHost {
public:
    void setStatusText(const std::string&) override {}
    void showProgress() override {}
    void setProgressMaximum(std::uint32_t) override {}
    void setProgressPosition(std::uint32_t) override {}
    void hideProgress() override {}
    void processEvents() override {}
    void showError(const std::string&) override {}
    bool askYesNo(const std::string&) override { return true; }
    void setLocked(bool) override {}
    void refreshHexView() override {}
    void syncBufferFromEditor() override {}
    int speedIndex() const override { return 0; }
    void logLine(const std::string&) override {}
    void beep() override {}
    void setElapsedText(const std::string&) override {}
};

enum class Op { Read, Verify, Write, Erase };

inline const char* Name(Op op) {
    switch (op) {
    case Op::Read:
        return "read";
    case Op::Verify:
        return "verify";
    case Op::Write:
        return "write";
    default:
        return "erase";
    }
}

inline void RunOperation(ChipEngine& engine, Op op, const ChipRecord& chip) {
    if (engine.OpenProgrammer(chip) == 0)
        return;
    switch (op) {
    case Op::Read:
        engine.ReadChip(chip);
        break;
    case Op::Verify:
        engine.VerifyChip(chip);
        break;
    case Op::Write:
        engine.WriteChip(chip);
        break;
    case Op::Erase:
        engine.EraseChip(chip);
        break;
    }
    engine.CloseProgrammer();
}

} // namespace vantor::bench
