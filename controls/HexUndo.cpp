#include "controls/HexUndo.h"

namespace vantor::hex {

std::size_t EditRecord::footprint() const {
    return sizeof(EditRecord) + absent.capacity() + absentMarks.capacity() * sizeof(Range);
}

void EditRecord::exchange(ByteStore& store, MarkSet& marks) {
    const uint8_t* from = store.data() + pos;
    Bytes present(from, from + presentLen);
    std::vector<Range> presentMarks = marks.extract({pos, pos + presentLen});
    store.replace(pos, presentLen, absent);
    marks.replace(pos, presentLen, absent.size(), absentMarks);
    presentLen = absent.size();
    absent = std::move(present);
    absentMarks = std::move(presentMarks);
}

void UndoHistory::clear() {
    undo_.clear();
    redo_.clear();
    used_ = 0;
}

void UndoHistory::setBudget(std::size_t bytes) {
    budget_ = bytes;
    trim(false);
}

void UndoHistory::account(EditRecord& r) {
    used_ -= r.cost;
    r.cost = r.footprint();
    used_ += r.cost;
}

void UndoHistory::push(EditRecord&& record) {
    for (const EditRecord& r : redo_)
        used_ -= r.cost;
    redo_.clear();
    record.cost = 0;
    undo_.push_back(std::move(record));
    account(undo_.back());
    trim(false);
}

void UndoHistory::recost() {
    if (undo_.empty())
        return;
    account(undo_.back());
    trim(false);
}

void UndoHistory::trim(bool keepRedoTop) {
    // The record next to the present state survives: the newest undo record
    // after an edit or redo, the newest redo record after an undo.
    while (used_ > budget_) {
        if (undo_.size() > (keepRedoTop ? 0u : 1u)) {
            used_ -= undo_.front().cost;
            undo_.pop_front();
        } else if (redo_.size() > (keepRedoTop ? 1u : 0u)) {
            used_ -= redo_.front().cost;
            redo_.pop_front();
        } else {
            break;
        }
    }
}

const EditRecord* UndoHistory::undo(ByteStore& store, MarkSet& marks) {
    if (undo_.empty())
        return nullptr;
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    EditRecord& r = redo_.back();
    r.exchange(store, marks);
    account(r);
    trim(true);
    return &redo_.back();
}

const EditRecord* UndoHistory::redo(ByteStore& store, MarkSet& marks) {
    if (redo_.empty())
        return nullptr;
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    EditRecord& r = undo_.back();
    r.exchange(store, marks);
    account(r);
    trim(false);
    return &undo_.back();
}

} // namespace vantor::hex
