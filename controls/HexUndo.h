#pragma once
// Undo and redo for the hex pane. An edit replaces one byte range by another;
// its record keeps only the side that is not in the document at the moment
// (the old bytes while it can be undone, the new bytes while it can be
// redone), so a large insert costs nothing to undo and a large overwrite
// costs its old bytes once. Undo and redo are the same exchange.
#include "controls/HexDocument.h"
#include "controls/HexMemory.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace vantor::hex {

inline constexpr std::size_t DefaultUndoBudget = std::size_t{16} << 20;

// Where the caret stands: a byte, the hex digit within it (0 high, 1 low)
// and whether it is in the character column.
struct Caret {
    std::size_t pos = 0;
    int nibble = 0;
    bool charColumn = false;
    bool operator==(const Caret&) const = default;
};

using Bytes = std::vector<uint8_t, BlockAllocator<uint8_t>>;

struct EditRecord {
    std::size_t pos = 0;
    std::size_t presentLen = 0;     // length of the range now in the document
    Bytes absent;                   // what that range holds on the other side of the edit
    std::vector<Range> absentMarks; // the changed-byte marks of those bytes, relative to pos
    Caret before;                   // caret before the edit and after its undo
    Caret after;                    // caret after the edit and after its redo
    uint64_t stateBefore = 0;       // content identities, to tell "back where we loaded"
    uint64_t stateAfter = 0;
    std::size_t cost = 0; // what the budget charges, kept by UndoHistory

    // Bytes this record holds on to.
    std::size_t footprint() const;
    // Exchanges the document's range with the stored side.
    void exchange(ByteStore& store, MarkSet& marks);
};

class UndoHistory {
public:
    explicit UndoHistory(std::size_t budget = DefaultUndoBudget) : budget_(budget) {}

    void clear();
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    std::size_t undoCount() const { return undo_.size(); }
    std::size_t redoCount() const { return redo_.size(); }
    std::size_t usedBytes() const { return used_; }
    std::size_t budget() const { return budget_; }
    void setBudget(std::size_t bytes);

    // A new edit: forgets what could be redone, then keeps the budget by
    // dropping the oldest records. The newest edit always stays undoable,
    // even when it alone is larger than the budget.
    void push(EditRecord&& record);
    // The newest record, for typing that continues it; call recost() after
    // changing it.
    EditRecord* top() { return undo_.empty() ? nullptr : &undo_.back(); }
    void recost();

    // Exchange the newest record with the document and move it to the other
    // list. Null when there is nothing to do.
    const EditRecord* undo(ByteStore& store, MarkSet& marks);
    const EditRecord* redo(ByteStore& store, MarkSet& marks);

private:
    void account(EditRecord& r);
    void trim(bool keepRedoTop);

    std::deque<EditRecord> undo_; // back is the newest
    std::deque<EditRecord> redo_; // back is the next to redo
    std::size_t budget_;
    std::size_t used_ = 0;
};

} // namespace vantor::hex
