#pragma once
// Chip selection without widgets: the three cascading boxes of the main
// window's chip group (type, manufacturer, name), the capacity and page
// fields, and the find dialog's list. The widgets only show what this model
// computes (see chipdb/ui/ChipBoxBinder.h).
//
// Text representation: names are compared as the UTF-8 text of NameText.
// GBK -> UTF-8 is one-to-one for valid GBK and leaves ASCII bytes alone, so a
// byte-for-byte comparison of the UTF-8 forms gives the same answer as one of
// the stored GBK bytes (bytes that are not valid GBK all read as U+FFFD).
// "Already in the box" ignores the case of ASCII letters only.
#include "chipdb/ChipRecord.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vantor {

// One editable drop-down box: its items, the selected position (-1 for
// none) and the text in its edit field.
class ChoiceBox {
public:
    const std::vector<std::string>& items() const { return items_; }
    int count() const { return static_cast<int>(items_.size()); }
    int selected() const { return selected_; }
    const std::string& text() const { return text_; }

    // Text of item `index`, or an empty text when there is no such item.
    const std::string& itemText(int index) const;
    // Position of `text`, exact but ignoring letter case; -1 when absent.
    int find(std::string_view text) const;
    bool contains(std::string_view text) const;

    void append(const std::string& text);
    // Removes the items; the edit text stays.
    void clear();
    // Selects item `index` and shows its text; a position outside the list
    // leaves the box without a selection and its edit text as it was.
    void select(int index);
    void setText(std::string text) { text_ = std::move(text); }

private:
    std::vector<std::string> items_;
    std::unordered_set<std::string> folded_;
    int selected_ = -1;
    std::string text_;
};

class ChipSelection {
public:
    explicit ChipSelection(const ChipDatabase* db = nullptr) : db_(db) {}

    void setDatabase(const ChipDatabase* db) { db_ = db; }
    const ChipDatabase* database() const { return db_; }
    // Called at the end of every SelectChip to reload the hex view with the
    // current record's capacity.
    void setRefreshHexView(std::function<void()> refresh) { refreshHexView_ = std::move(refresh); }

    // Rebuilds the manufacturer and name boxes for the type at `typeIndex`
    // and the manufacturer at `makerIndex`, chooses the `nameIndex`-th name,
    // and selects the three positions.
    void SelectChip(int typeIndex, int makerIndex, int nameIndex);

    // The user picked item `position` in the type, manufacturer or name box.
    // Each resets the boxes below it to item 0, takes the three selected
    // positions into SelTypeIndex / SelMakerIndex / SelNameIndex and calls
    // SelectChip with them.
    void ComboBox1Change(int position);
    void ComboBox2Change(int position);
    void ComboBox3Change(int position);

    const ChoiceBox& typeBox() const { return type_; }
    const ChoiceBox& makerBox() const { return maker_; }
    const ChoiceBox& nameBox() const { return name_; }

    // Slot of the selected record; 0 until a record is chosen.
    int CurrentChipIndex() const { return currentChipIndex_; }
    void SetCurrentChipIndex(int slot) { currentChipIndex_ = slot; }
    // The selected record, or nullptr without a database.
    const ChipRecord* CurrentChip() const;

    // Capacity and page texts (unsigned decimal) and the capacity step item
    // (-1: never set); they change only when SelectChip chooses a record.
    const std::string& Edit1Text() const { return edit1_; }
    const std::string& Edit2Text() const { return edit2_; }
    int SizeStepIndex() const { return sizeStep_; }
    // Whether the last SelectChip chose a record.
    bool LastSelectChose() const { return lastChose_; }

    // The remembered box positions (settings INDEX1..INDEX3).
    int SelTypeIndex = 0;
    int SelMakerIndex = 0;
    int SelNameIndex = 0;

private:
    void TakeSelectedPositions();

    const ChipDatabase* db_;
    std::function<void()> refreshHexView_;
    ChoiceBox type_, maker_, name_;
    int currentChipIndex_ = 0;
    std::string edit1_, edit2_;
    int sizeStep_ = -1;
    bool lastChose_ = false;
};

// One line of the find dialog's list: the first three fields of NameText as
// split (not trimmed) and the record's slot.
struct ChipListRow {
    std::string type, maker, name;
    int slot = 0;
    bool operator==(const ChipListRow&) const = default;
};

// Every record in use, in slot order.
std::vector<ChipListRow> ListAllChips(const ChipDatabase& db);

// Records whose NameText holds `search` (trimmed of bytes 0..32) as a
// contiguous run of bytes, commas included, letter case respected. An empty
// search text lists nothing.
std::vector<ChipListRow> FindChips(const ChipDatabase& db, std::string_view search);

// The find dialog's Select: three times in a row, look up the row's type,
// manufacturer and name in the boxes (exact, letter case ignored, -1 when
// absent) and call `selectChip` with the three positions. Each pass refills
// the boxes the next pass looks in.
void SelectByNames(const ChipSelection& boxes, const ChipListRow& row,
                   const std::function<void(int, int, int)>& selectChip);

} // namespace vantor
