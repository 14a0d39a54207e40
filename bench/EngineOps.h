#pragma once
// One chip operation between open and close, for the engine figures.
#include "chipdb/ChipRecord.h"
#include "link/ChipEngine.h"

namespace vantor::bench {

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
