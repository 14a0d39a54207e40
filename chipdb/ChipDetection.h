#pragma once
// What the Test button does with the programmer's answer to an ID read:
// which record to select, how the chip boxes get there, and what the user is
// told. The decision is plain data so it can be checked without a window;
// ApplyDetection then carries it out through the main window's SelectChip.
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantor {

// The four reply bytes of an ID read: the answer kind, then three ID bytes.
using ChipIdReply = std::array<std::uint8_t, 4>;

// Answer kinds of the ID read.
namespace ChipIdKind {
inline constexpr std::uint8_t None = 0;
inline constexpr std::uint8_t WithId = 1;  // SPI flash: the three bytes are its ID
inline constexpr std::uint8_t TypeAt1 = 2; // a chip without ID: type box position 1
inline constexpr std::uint8_t TypeAt2 = 3; // a chip without ID: type box position 2
} // namespace ChipIdKind

enum class DetectionResult {
    NoProgrammer,  // the ID read found no programmer
    Identified,    // kind 1, a record holds the ID
    SizeAmbiguous, // kind 1, records of different sizes hold the ID: the user chooses
    UnknownId,     // kind 1, no record in use holds the ID
    TypeDetected,  // kind 2 or 3
    NoChip,        // any other kind
};

struct SelectChipCall {
    int typeIndex = 0;
    int makerIndex = 0;
    int nameIndex = 0;
    bool operator==(const SelectChipCall&) const = default;
};

struct DetectionOutcome {
    DetectionResult result = DetectionResult::NoChip;
    // Slot whose ChipId matched (Identified only); -1 otherwise. The boxes
    // choose by name, so the record finally selected may be an earlier one
    // with the same three names.
    int slot = -1;
    // SelectChip calls to make, in order.
    std::vector<SelectChipCall> selectCalls;
    // Whether SelTypeIndex / SelMakerIndex / SelNameIndex change (only an
    // identified chip is remembered), and their new values.
    bool remember = false;
    int selTypeIndex = 0;
    int selMakerIndex = 0;
    int selNameIndex = 0;
    // Exactly one of these is set: the text of the "Error" box or of the
    // "Information" box shown at the end.
    std::string errorText;
    std::string informationText;
    // Identified only, when later records answer the same ID: the log line
    // that names them, so the user can choose another with Find.
    std::string othersLogText;
    // SizeAmbiguous only: for each size the ID is listed with, the question
    // that offers its first part and the Identified outcome that selects it.
    // ApplyDetection asks in turn and carries out the first answered Yes;
    // when none is, nothing is selected and informationText is shown.
    std::vector<std::string> questions;
    std::vector<DetectionOutcome> choices;
};

// "4 MiB", "512 KiB", "128 B": a chip size as the messages name it.
std::string SizeText(std::uint32_t bytes);

// "W25Q32JV, 4 MiB": the record's chip name and size, in `languageIndex`.
std::string PartText(const ChipRecord& record, int languageIndex);

// The first slot of each size among the records in use with `chipId`, in
// list order. More than one: the ID alone cannot tell which part it is.
std::vector<int> SlotsOfEachSize(const ChipDatabase& db, std::uint32_t chipId);

// The searched value of a kind-1 reply: (byte 1 << 16) + (byte 2 << 8) + byte 3.
std::uint32_t ReplyChipId(const ChipIdReply& reply);

// First slot in use (from slot 0, up to the first empty NameText) whose
// ChipId equals `chipId`; -1 when none does.
int FindChipById(const ChipDatabase& db, std::uint32_t chipId);

// Slots in use after `slot` whose ChipId equals that of `slot`: the other
// chips a detected ID may be.
std::vector<int> OtherSlotsWithId(const ChipDatabase& db, int slot);

// "Other chips with this ID ...: A, B, C" in `languageIndex`, naming the
// chips of OtherSlotsWithId; empty when there are none.
std::string OtherChipsWithIdText(const ChipDatabase& db, int slot, int languageIndex);

// The texts detection shows, in `languageIndex`.
std::string DetectedChipText(const std::string& chipName, const std::string& typeName,
                             int languageIndex);
std::string UnknownChipIdText(const ChipIdReply& reply, int languageIndex);
std::string DetectedTypeText(const std::string& typeName, int languageIndex);

// Decides what the Test button does. `readResult` is the ID read's result
// (0: no programmer), `reply` its four bytes, `boxes` the main window's chip
// boxes as they are now, over the database to search. The SelectChip calls
// are worked out on a copy of `boxes` (each pass of the three-pass selection
// looks up its position in the boxes the previous pass refilled), and the
// box texts quoted in the messages are the ones those calls leave.
DetectionOutcome DecideDetection(int readResult, const ChipIdReply& reply,
                                 const ChipSelection& boxes, int languageIndex);

// Carries the decision out: makes the SelectChip calls through `selectChip`
// (the main window's, which updates `boxes`), stores the remembered
// positions in `boxes` when the outcome says so, and shows the box through
// the prompts seam. A SizeAmbiguous outcome asks its questions first.
void ApplyDetection(const DetectionOutcome& outcome, ChipSelection& boxes,
                    const std::function<void(int, int, int)>& selectChip);

} // namespace vantor
