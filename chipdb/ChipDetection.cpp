#include "chipdb/ChipDetection.h"

#include "chipdb/NameText.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <cstdio>

namespace vantor {
namespace {

// Runs SelectChip on the simulated boxes and records the call.
void Select(ChipSelection& boxes, DetectionOutcome& out, int t, int m, int n) {
    out.selectCalls.push_back({t, m, n});
    boxes.SelectChip(t, m, n);
}

} // namespace

std::uint32_t ReplyChipId(const ChipIdReply& reply) {
    return (std::uint32_t(reply[1]) << 16) + (std::uint32_t(reply[2]) << 8) + reply[3];
}

int FindChipById(const ChipDatabase& db, std::uint32_t chipId) {
    for (int i = 0; i < ChipDatabase::size() && !NameTextEmpty(db[i]); ++i)
        if (db[i].ChipId == chipId)
            return i;
    return -1;
}

std::vector<int> OtherSlotsWithId(const ChipDatabase& db, int slot) {
    std::vector<int> out;
    if (slot < 0 || slot >= ChipDatabase::size())
        return out;
    for (int i = slot + 1; i < ChipDatabase::size() && !NameTextEmpty(db[i]); ++i)
        if (db[i].ChipId == db[slot].ChipId)
            out.push_back(i);
    return out;
}

std::string OtherChipsWithIdText(const ChipDatabase& db, int slot, int languageIndex) {
    std::string names;
    for (const int other : OtherSlotsWithId(db, slot)) {
        const std::string name = TrimmedField(SplitNameText(NameTextUtf8(db[other])), 2);
        if (name.empty() || (", " + names + ", ").find(", " + name + ", ") != std::string::npos)
            continue; // the boxes show a name once
        names += (names.empty() ? "" : ", ") + name;
    }
    return names.empty() ? std::string() : Message(Own::SameIdOthers, languageIndex) + names;
}

std::string DetectedChipText(const std::string& chipName, const std::string& typeName,
                             int languageIndex) {
    return Message(Msg::ChipDetected, languageIndex) + chipName +
           Message(Msg::ChipTypeSuffix, languageIndex) + typeName;
}

std::string UnknownChipIdText(const ChipIdReply& reply, int languageIndex) {
    char bytes[16];
    std::snprintf(bytes, sizeof bytes, "%2.2X %2.2X %2.2X", reply[1], reply[2], reply[3]);
    return Message(Msg::UnknownChipId, languageIndex) + bytes +
           Message(Msg::ChooseCompatible, languageIndex);
}

std::string DetectedTypeText(const std::string& typeName, int languageIndex) {
    return Message(Msg::TypeDetected, languageIndex) + typeName +
           Message(Msg::SelectTypeManually, languageIndex);
}

std::string SizeText(std::uint32_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " B";
}

std::string PartText(const ChipRecord& record, int languageIndex) {
    return FormatMessage(
        Own::PartOfSize, languageIndex,
        {TrimmedField(SplitNameText(NameTextUtf8(record)), 2), SizeText(record.FlashSize)});
}

std::vector<int> SlotsOfEachSize(const ChipDatabase& db, std::uint32_t chipId) {
    std::vector<int> out;
    const int first = FindChipById(db, chipId);
    if (first < 0)
        return out;
    out.push_back(first);
    for (const int slot : OtherSlotsWithId(db, first)) {
        bool known = false;
        for (const int seen : out)
            known = known || db[seen].FlashSize == db[slot].FlashSize;
        if (!known)
            out.push_back(slot);
    }
    return out;
}

namespace {

// The outcome that selects `slot`, worked out on a copy of `boxes`.
DetectionOutcome Identify(const ChipSelection& boxes, const ChipDatabase& db, int slot,
                          int languageIndex) {
    DetectionOutcome out;
    ChipSelection sim = boxes;
    sim.setRefreshHexView(nullptr);
    out.result = DetectionResult::Identified;
    out.slot = slot;
    const auto fields = SplitNameText(NameTextUtf8(db[slot]));
    // Each pass looks its name up in the boxes the previous pass filled.
    int t = sim.typeBox().find(TrimmedField(fields, 0));
    int m = sim.SelMakerIndex;
    int n = sim.SelNameIndex;
    Select(sim, out, t, m, n);
    m = sim.makerBox().find(TrimmedField(fields, 1));
    Select(sim, out, t, m, n);
    n = sim.nameBox().find(TrimmedField(fields, 2));
    Select(sim, out, t, m, n);
    out.remember = true;
    out.selTypeIndex = t;
    out.selMakerIndex = m;
    out.selNameIndex = n;
    out.informationText =
        DetectedChipText(sim.nameBox().text(), sim.typeBox().text(), languageIndex);
    out.othersLogText = OtherChipsWithIdText(db, slot, languageIndex);
    return out;
}

// One ID, parts of several sizes: never chosen silently, a wrong size would
// read or write part of the chip, or past it.
DetectionOutcome AskWhichSize(const ChipSelection& boxes, const ChipDatabase& db,
                              std::uint32_t chipId, const std::vector<int>& slots,
                              int languageIndex) {
    DetectionOutcome out;
    out.result = DetectionResult::SizeAmbiguous;
    std::string parts;
    for (const int slot : slots) {
        const std::string name = TrimmedField(SplitNameText(NameTextUtf8(db[slot])), 2);
        const std::string size = SizeText(db[slot].FlashSize);
        parts += (parts.empty() ? "" : ", ") + name + " (" + size + ")";
        out.questions.push_back(FormatMessage(Own::IsItThisChip, languageIndex, {name, size}));
        out.choices.push_back(Identify(boxes, db, slot, languageIndex));
    }
    char id[16];
    std::snprintf(id, sizeof id, "%06X", unsigned(chipId));
    const std::string lead = FormatMessage(Own::IdSizesDiffer, languageIndex, {id, parts});
    for (std::string& question : out.questions)
        question = lead + "\n" + question;
    out.informationText = lead + " " + Message(Own::ChooseChipByName, languageIndex);
    return out;
}

} // namespace

DetectionOutcome DecideDetection(int readResult, const ChipIdReply& reply,
                                 const ChipSelection& boxes, int languageIndex) {
    DetectionOutcome out;
    if (readResult == 0) {
        out.result = DetectionResult::NoProgrammer;
        out.errorText = Message(Msg::NotConnected, languageIndex);
        return out;
    }

    // The simulation must not reach the window (no hex view reload).
    ChipSelection sim = boxes;
    sim.setRefreshHexView(nullptr);
    static const ChipDatabase kEmpty;
    const ChipDatabase& db = sim.database() ? *sim.database() : kEmpty;

    switch (reply[0]) {
    case ChipIdKind::WithId: {
        const int slot = FindChipById(db, ReplyChipId(reply));
        if (slot < 0) {
            out.result = DetectionResult::UnknownId;
            if (sim.typeBox().selected() != 0)
                Select(sim, out, 0, 0, 0);
            out.errorText = UnknownChipIdText(reply, languageIndex);
            break;
        }
        const std::vector<int> sizes = SlotsOfEachSize(db, ReplyChipId(reply));
        if (sizes.size() > 1)
            return AskWhichSize(boxes, db, ReplyChipId(reply), sizes, languageIndex);
        return Identify(boxes, db, slot, languageIndex);
    }
    case ChipIdKind::TypeAt1:
    case ChipIdKind::TypeAt2: {
        out.result = DetectionResult::TypeDetected;
        const int position = reply[0] == ChipIdKind::TypeAt1 ? 1 : 2;
        if (sim.typeBox().selected() != position)
            Select(sim, out, position, 0, 0);
        out.informationText = DetectedTypeText(sim.typeBox().text(), languageIndex);
        break;
    }
    default:
        out.result = DetectionResult::NoChip;
        out.errorText = Message(Msg::NoChip, languageIndex);
        break;
    }
    return out;
}

void ApplyDetection(const DetectionOutcome& outcome, ChipSelection& boxes,
                    const std::function<void(int, int, int)>& selectChip) {
    for (std::size_t i = 0; i < outcome.choices.size(); ++i)
        if (CurrentPrompts().askYesNo(outcome.questions[i])) {
            ApplyDetection(outcome.choices[i], boxes, selectChip);
            return;
        }
    for (const SelectChipCall& call : outcome.selectCalls)
        if (selectChip)
            selectChip(call.typeIndex, call.makerIndex, call.nameIndex);
    if (outcome.remember) {
        boxes.SelTypeIndex = outcome.selTypeIndex;
        boxes.SelMakerIndex = outcome.selMakerIndex;
        boxes.SelNameIndex = outcome.selNameIndex;
    }
    if (!outcome.errorText.empty())
        CurrentPrompts().showError(outcome.errorText);
    else if (!outcome.informationText.empty())
        CurrentPrompts().showInformation(outcome.informationText);
}

} // namespace vantor
