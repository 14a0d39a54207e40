#include "controls/HexEditorCore.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vantor::hex {

namespace {

constexpr std::size_t Row = BytesPerRow;

int hexDigit(char32_t c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a') + 10;
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A') + 10;
    return -1;
}

} // namespace

// --- Content ----------------------------------------------------------------

void HexEditorCore::resetState() {
    marks_.clear();
    history_.clear();
    caret_ = Caret{};
    hasSelection_ = false;
    anchor_ = 0;
    typingRun_ = false;
    state_ = nextState_++;
    cleanState_ = state_;
    topRow_ = 0;
    bookmarks_.fill(std::nullopt);
}

void HexEditorCore::load(std::span<const uint8_t> bytes) {
    uint8_t* dest = beginLoad(bytes.size());
    if (!bytes.empty())
        std::memcpy(dest, bytes.data(), bytes.size());
    endLoad(bytes.size());
}

uint8_t* HexEditorCore::beginLoad(std::size_t n) {
    if (n > MaxContentSize)
        throw std::length_error("content too large for the hex pane");
    return store_.resetForLoad(n);
}

void HexEditorCore::endLoad(std::size_t filled) {
    store_.truncate(filled);
    resetState();
}

std::size_t HexEditorCore::read(void* dest, std::size_t index, std::size_t count) const {
    if (index >= size())
        return 0;
    const std::size_t n = std::min(count, size() - index);
    if (n)
        std::memcpy(dest, store_.data() + index, n);
    return n;
}

bool HexEditorCore::modified() const {
    return state_ != cleanState_ && size() > 0;
}

void HexEditorCore::setModified(bool flag) {
    if (flag) {
        cleanState_ = ~uint64_t{0};
        return;
    }
    cleanState_ = state_;
    marks_.clear();
    history_.clear();
    typingRun_ = false;
}

// --- Caret and selection ----------------------------------------------------

std::size_t HexEditorCore::maxPos() const {
    if (insert_)
        return size();
    return size() ? size() - 1 : 0;
}

std::size_t HexEditorCore::maxIndex(bool charColumn) const {
    if (charColumn)
        return maxPos();
    if (insert_)
        return 2 * size();
    return size() ? 2 * size() - 1 : 0;
}

std::size_t HexEditorCore::indexOf(const Caret& c) const {
    return c.charColumn ? c.pos : c.pos * 2 + static_cast<std::size_t>(c.nibble);
}

Caret HexEditorCore::fromIndex(std::size_t index, bool charColumn) const {
    if (charColumn)
        return {index, 0, true};
    return {index / 2, static_cast<int>(index % 2), false};
}

Caret HexEditorCore::clamped(Caret c) const {
    if (c.charColumn)
        c.nibble = 0;
    c.nibble = std::clamp(c.nibble, 0, 1);
    return fromIndex(std::min(indexOf(c), maxIndex(c.charColumn)), c.charColumn);
}

std::size_t HexEditorCore::caretByte() const {
    return size() ? std::min(caret_.pos, size() - 1) : 0;
}

void HexEditorCore::moveCaret(Caret to, bool extend) {
    typingRun_ = false;
    place(to, extend);
}

// A caret position in hex digits from the start: the selection runs between
// two of these, so a caret on a byte's low digit has passed its high digit.
static std::size_t DigitPosition(const Caret& c) {
    return 2 * c.pos + (c.charColumn ? 0 : static_cast<std::size_t>(c.nibble));
}

void HexEditorCore::place(Caret to, bool extend) {
    const std::size_t from = DigitPosition(caret_);
    if (extend && size() > 0) {
        if (!hasSelection_) {
            anchor_ = from;
            hasSelection_ = true;
        }
    } else {
        hasSelection_ = false;
    }
    caret_ = clamped(to);
    selectionEnd_ = DigitPosition(caret_);
    ensureCaretVisible();
}

void HexEditorCore::setInsertMode(bool on) {
    insert_ = on;
    caret_ = clamped(caret_);
    setTopRow(topRow_);
    ensureCaretVisible();
}

bool HexEditorCore::hasSelection() const {
    return hasSelection_ && size() > 0 && anchor_ != selectionEnd_;
}

Range HexEditorCore::selection() const {
    if (!hasSelection())
        return {};
    const std::size_t low = std::min(anchor_, selectionEnd_);
    const std::size_t high = std::max(anchor_, selectionEnd_);
    return {std::min(low / 2, size()), std::min((high + 1) / 2, size())};
}

void HexEditorCore::select(std::size_t anchor, std::size_t caretPos, bool charColumn) {
    if (size() == 0)
        return;
    typingRun_ = false;
    anchor = std::min(anchor, size() - 1);
    const std::size_t last = std::min(caretPos, size() - 1);
    // Both bytes are included, whichever way the selection runs.
    anchor_ = 2 * (anchor <= last ? anchor : anchor + 1);
    selectionEnd_ = 2 * (anchor <= last ? last + 1 : last);
    hasSelection_ = true;
    caret_ = clamped({caretPos, 0, charColumn});
    ensureCaretVisible();
}

void HexEditorCore::extendTo(const Caret& to) {
    if (size() == 0)
        return;
    const std::size_t anchor = !hasSelection()
                                   ? caretByte()
                                   : (anchor_ <= selectionEnd_ ? anchor_ / 2 : (anchor_ - 1) / 2);
    select(anchor, to.pos, to.charColumn);
    caret_ = clamped(to);
    ensureCaretVisible();
}

void HexEditorCore::selectAll() {
    typingRun_ = false;
    if (size() == 0)
        return;
    anchor_ = 0;
    selectionEnd_ = 2 * size();
    hasSelection_ = true;
    caret_ = clamped({size() - 1, 0, caret_.charColumn});
    ensureCaretVisible();
}

std::vector<uint8_t> HexEditorCore::selectedBytes() const {
    const Range s = selection();
    return {store_.data() + s.begin, store_.data() + s.end};
}

// --- View ---------------------------------------------------------------------

void HexEditorCore::setPageRows(std::size_t rows) {
    pageRows_ = std::max<std::size_t>(rows, 1);
    setTopRow(topRow_);
}

std::size_t HexEditorCore::rowCount() const {
    if (size() == 0 && !insert_)
        return 0;
    return maxPos() / Row + 1;
}

std::size_t HexEditorCore::maxTopRow() const {
    const std::size_t rows = rowCount();
    return rows > pageRows_ ? rows - pageRows_ : 0;
}

void HexEditorCore::setTopRow(std::size_t row) {
    topRow_ = std::min(row, maxTopRow());
}

void HexEditorCore::ensureCaretVisible() {
    const std::size_t row = caret_.pos / Row;
    if (row < topRow_)
        topRow_ = row;
    else if (row >= topRow_ + pageRows_)
        topRow_ = row - pageRows_ + 1;
    setTopRow(topRow_);
}

// --- Bookmarks --------------------------------------------------------------

void HexEditorCore::setBookmark(int n) {
    bookmarks_.at(static_cast<std::size_t>(n)) = Caret{caret_.pos, 0, caret_.charColumn};
}

bool HexEditorCore::gotoBookmark(int n) {
    const auto& b = bookmarks_.at(static_cast<std::size_t>(n));
    if (!b)
        return false;
    place(*b);
    return true;
}

void HexEditorCore::shiftBookmarks(std::size_t pos, std::size_t oldLen, std::size_t newLen) {
    if (oldLen == newLen)
        return;
    for (auto& b : bookmarks_) {
        if (!b)
            continue;
        if (b->pos >= pos + oldLen)
            b->pos = b->pos - oldLen + newLen;
        else if (b->pos > pos + newLen)
            b->pos = pos + newLen; // its byte was deleted: keep it where the gap closed
    }
}

// --- Editing ------------------------------------------------------------------

std::vector<Range> HexEditorCore::marksAfterOverwrite(std::size_t pos,
                                                      std::span<const uint8_t> bytes) const {
    std::vector<Range> out;
    const uint8_t* old = store_.data() + pos;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (old[i] == bytes[i])
            continue;
        if (!out.empty() && out.back().end == i)
            ++out.back().end;
        else
            out.push_back({i, i + 1});
    }
    return out;
}

bool HexEditorCore::edit(const EditRequest& r) {
    const std::size_t newLen = r.bytes.size();
    if (size() - r.oldLen + newLen > MaxContentSize)
        return false;
    const bool changes = r.oldLen != newLen || (newLen && std::memcmp(store_.data() + r.pos,
                                                                      r.bytes.data(), newLen) != 0);

    // Typing continues the newest record when it starts inside or just after
    // the range that record covers; the caret's steady advance keeps it so.
    EditRecord* run = nullptr;
    if (r.typing && typingRun_ && !history_.canRedo()) {
        EditRecord* top = history_.top();
        if (top && top->pos <= r.pos && r.pos <= top->pos + top->presentLen)
            run = top;
    }
    if (!changes && !run)
        return false;

    EditRecord fresh;
    if (run) {
        // Old bytes the run's range did not cover yet join its stored side,
        // so the record keeps one contiguous range.
        const std::size_t presentEnd = run->pos + run->presentLen;
        const std::size_t editEnd = r.pos + r.oldLen;
        if (editEnd > presentEnd) {
            const std::size_t base = run->absent.size();
            for (const Range& m : marks_.extract({presentEnd, editEnd})) {
                if (!run->absentMarks.empty() && run->absentMarks.back().end == base + m.begin)
                    run->absentMarks.back().end = base + m.end;
                else
                    run->absentMarks.push_back({base + m.begin, base + m.end});
            }
            run->absent.insert(run->absent.end(), store_.data() + presentEnd,
                               store_.data() + editEnd);
            run->presentLen += editEnd - presentEnd;
        }
        run->presentLen = run->presentLen - r.oldLen + newLen;
    } else {
        fresh.pos = r.pos;
        fresh.presentLen = newLen;
        fresh.absent.assign(store_.data() + r.pos, store_.data() + r.pos + r.oldLen);
        fresh.absentMarks = marks_.extract({r.pos, r.pos + r.oldLen});
        fresh.before = caret_;
        fresh.stateBefore = state_;
    }

    if (r.marks != MarkRule::Fresh) {
        std::vector<Range> changed;
        if (r.marks == MarkRule::MarkChanges)
            changed = marksAfterOverwrite(r.pos, r.bytes);
        store_.replace(r.pos, r.oldLen, r.bytes);
        for (const Range& m : changed)
            marks_.add({r.pos + m.begin, r.pos + m.end});
    } else {
        store_.replace(r.pos, r.oldLen, r.bytes);
        marks_.replace(r.pos, r.oldLen, newLen, {});
        shiftBookmarks(r.pos, r.oldLen, newLen);
    }
    if (changes)
        state_ = nextState_++;

    EditRecord& rec = run ? *run : fresh;
    rec.after = clamped(r.after);
    rec.stateAfter = state_;
    if (run)
        history_.recost();
    else
        history_.push(std::move(fresh));
    typingRun_ = r.typing;
    return changes;
}

bool HexEditorCore::typeByte(uint8_t b) {
    const std::span<const uint8_t> one(&b, 1);
    Caret after;
    if (insert_) {
        const std::size_t at = std::min(caret_.pos, size());
        const Range s = hasSelection() ? selection() : Range{at, at};
        after = {s.begin + 1, 0, true};
        edit({s.begin, s.size(), one, MarkRule::Fresh, true, after});
    } else {
        if (caret_.pos >= size())
            return false;
        after = {caret_.pos + 1, 0, true};
        edit({caret_.pos, 1, one, MarkRule::MarkChanges, true, after});
    }
    place(after);
    return true;
}

bool HexEditorCore::typeHex(int digit) {
    const auto d = static_cast<uint8_t>(digit);
    uint8_t b = 0;
    const std::span<const uint8_t> one(&b, 1);
    Caret after;
    if (insert_) {
        if (hasSelection()) {
            const Range s = selection();
            b = static_cast<uint8_t>(d << 4);
            after = {s.begin, 1, false};
            edit({s.begin, s.size(), one, MarkRule::Fresh, true, after});
        } else if (caret_.nibble == 0) {
            const std::size_t pos = std::min(caret_.pos, size());
            b = static_cast<uint8_t>(d << 4);
            after = {pos, 1, false};
            edit({pos, 0, one, MarkRule::Fresh, true, after});
        } else {
            const std::size_t pos = caret_.pos;
            b = static_cast<uint8_t>((store_[pos] & 0xF0) | d);
            after = {pos + 1, 0, false};
            edit({pos, 1, one, MarkRule::Keep, true, after});
        }
    } else {
        const std::size_t pos = caret_.pos;
        if (pos >= size())
            return false;
        const bool high = caret_.nibble == 0 || hasSelection();
        b = high ? static_cast<uint8_t>((store_[pos] & 0x0F) | (d << 4))
                 : static_cast<uint8_t>((store_[pos] & 0xF0) | d);
        after = fromIndex(indexOf(caret_) + 1, false);
        edit({pos, 1, one, MarkRule::MarkChanges, true, after});
    }
    place(after);
    return true;
}

bool HexEditorCore::typeChar(char32_t ch) {
    if (caret_.charColumn) {
        if (ch < 32 || ch > 255)
            return false;
        return typeByte(static_cast<uint8_t>(ch));
    }
    const int d = hexDigit(ch);
    return d >= 0 && typeHex(d);
}

bool HexEditorCore::paste(std::span<const uint8_t> bytes) {
    typingRun_ = false;
    if (bytes.empty())
        return false;
    const bool col = caret_.charColumn;
    if (insert_) {
        Range s = hasSelection() ? selection() : Range{caret_.pos, caret_.pos};
        const Caret after{s.begin + bytes.size(), 0, col};
        if (!edit({s.begin, s.size(), bytes, MarkRule::Fresh, false, after}))
            return false;
        place(after);
        return true;
    }
    // Overwrite keeps the size: what would run past the end is dropped.
    const std::size_t start = hasSelection() ? selection().begin : caret_.pos;
    if (start >= size())
        return false;
    const std::size_t n = std::min(bytes.size(), size() - start);
    const Caret after{start + n, 0, col};
    const uint8_t* old = store_.data() + start;
    std::size_t first = 0;
    while (first < n && old[first] == bytes[first])
        ++first;
    if (first == n) {
        place(after);
        return false;
    }
    std::size_t last = n;
    while (old[last - 1] == bytes[last - 1])
        --last;
    edit({start + first, last - first, bytes.subspan(first, last - first), MarkRule::MarkChanges,
          false, after});
    place(after);
    return true;
}

bool HexEditorCore::deleteSelection() {
    typingRun_ = false;
    if (!hasSelection())
        return false;
    const Range s = selection();
    const Caret after{s.begin, 0, caret_.charColumn};
    edit({s.begin, s.size(), {}, MarkRule::Fresh, false, after});
    place(after);
    return true;
}

bool HexEditorCore::deleteByte(std::size_t pos) {
    typingRun_ = false;
    if (pos >= size())
        return false;
    const Caret after{pos, 0, caret_.charColumn};
    edit({pos, 1, {}, MarkRule::Fresh, false, after});
    place(after);
    return true;
}

bool HexEditorCore::undo() {
    typingRun_ = false;
    const EditRecord* r = history_.undo(store_, marks_);
    if (!r)
        return false;
    shiftBookmarks(r->pos, r->absent.size(), r->presentLen);
    state_ = r->stateBefore;
    const Caret to = r->before;
    place(to);
    return true;
}

bool HexEditorCore::redo() {
    typingRun_ = false;
    const EditRecord* r = history_.redo(store_, marks_);
    if (!r)
        return false;
    shiftBookmarks(r->pos, r->absent.size(), r->presentLen);
    state_ = r->stateAfter;
    const Caret to = r->after;
    place(to);
    return true;
}

// --- Keyboard -----------------------------------------------------------------

void HexEditorCore::toggleColumn() {
    caret_ = clamped({caret_.pos, 0, !caret_.charColumn});
    ensureCaretVisible();
}

void HexEditorCore::moveToRow(std::size_t row, bool extend) {
    place({row * Row + caret_.pos % Row, caret_.nibble, caret_.charColumn}, extend);
}

bool HexEditorCore::usesKey(const KeyStroke& k) {
    if (k.alt || k.key == Key::None)
        return false;
    switch (k.key) {
    case Key::Up:
    case Key::Down:
    case Key::Tab:
        return !k.ctrl;
    case Key::Insert:
        return !k.ctrl && !k.shift; // Ctrl+Insert and Shift+Insert belong to the window
    case Key::Character:
        if (!k.ctrl)
            return true;
        if (k.ch >= '0' && k.ch <= '9')
            return true;
        switch (k.ch | 0x20) {
        case 'a':
        case 'c':
        case 'x':
        case 'v':
        case 'z':
        case 't':
            return true;
        default:
            return false;
        }
    default:
        return true;
    }
}

KeyOutcome HexEditorCore::handleKey(const KeyStroke& k) {
    if (!usesKey(k))
        return {};
    // In overwrite mode a key pressed without modifiers first drops the selection.
    if (!insert_ && !k.shift && !k.ctrl)
        hasSelection_ = false;
    if (k.key != Key::Character || k.ctrl)
        typingRun_ = false;

    const bool ext = k.shift;
    const Caret c = caret_;
    const std::size_t rowStart = c.pos / Row * Row;
    const std::size_t lastRow = maxPos() / Row;
    KeyOutcome out{true, ClipboardAction::None};

    switch (k.key) {
    case Key::Left:
        if (k.ctrl)
            place({rowStart, 0, false}, ext);
        else if (const std::size_t i = indexOf(c); i > 0)
            place(fromIndex(i - 1, c.charColumn), ext);
        else
            place(c, ext);
        break;
    case Key::Right:
        if (k.ctrl)
            place({rowStart + Row - 1, 0, true}, ext);
        else
            place(fromIndex(indexOf(c) + 1, c.charColumn), ext);
        break;
    case Key::Up:
        if (c.pos >= Row)
            place({c.pos - Row, c.nibble, c.charColumn}, ext);
        break;
    case Key::Down:
        if (c.pos / Row < lastRow)
            place({c.pos + Row, c.nibble, c.charColumn}, ext);
        break;
    case Key::PageUp:
        if (k.ctrl) {
            moveToRow(topRow_, ext);
        } else {
            const std::size_t row = c.pos / Row;
            setTopRow(topRow_ > pageRows_ ? topRow_ - pageRows_ : 0);
            moveToRow(row > pageRows_ ? row - pageRows_ : 0, ext);
        }
        break;
    case Key::PageDown:
        if (k.ctrl) {
            moveToRow(std::min(topRow_ + pageRows_ - 1, lastRow), ext);
        } else {
            setTopRow(topRow_ + pageRows_);
            moveToRow(std::min(c.pos / Row + pageRows_, lastRow), ext);
        }
        break;
    case Key::Home:
        place({k.ctrl ? 0 : rowStart, 0, c.charColumn}, ext);
        break;
    case Key::End:
        if (k.ctrl)
            place({insert_ ? size() : maxPos(), 0, c.charColumn}, ext);
        else
            place({rowStart + Row - 1, 1, c.charColumn}, ext);
        break;
    case Key::Tab:
        toggleColumn();
        break;
    case Key::Backtab:
        toggleColumn();
        break;
    case Key::Insert:
        setInsertMode(!insert_);
        break;
    case Key::Delete:
        if (insert_ || k.ctrl) {
            if (hasSelection())
                deleteSelection();
            else
                deleteByte(c.pos);
        }
        break;
    case Key::Backspace:
        if (!insert_) {
            const std::size_t i = indexOf(c);
            place(i > 0 ? fromIndex(i - 1, c.charColumn) : c, ext);
        } else if (hasSelection()) {
            deleteSelection();
        } else if (!c.charColumn && c.nibble == 1 && c.pos < size()) {
            deleteByte(c.pos); // the byte whose first digit was just typed
        } else if (c.pos > 0) {
            deleteByte(c.pos - 1);
        }
        break;
    case Key::Character:
        if (!k.ctrl) {
            typeChar(k.ch);
            break;
        }
        if (k.ch >= '0' && k.ch <= '9') {
            const int n = static_cast<int>(k.ch - '0');
            if (k.shift)
                setBookmark(n);
            else
                gotoBookmark(n);
            break;
        }
        switch (k.ch | 0x20) { // letters in either case
        case 'a':
            selectAll();
            break;
        case 'c':
            out.clipboard = ClipboardAction::Copy;
            break;
        case 'x':
            out.clipboard = ClipboardAction::Cut;
            break;
        case 'v':
            out.clipboard = ClipboardAction::Paste;
            break;
        case 'z':
            if (k.shift)
                redo();
            else
                undo();
            break;
        case 't':
            toggleColumn();
            break;
        default:
            return {};
        }
        break;
    case Key::None:
        return {};
    }
    return out;
}

} // namespace vantor::hex
