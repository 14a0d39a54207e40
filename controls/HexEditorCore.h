#pragma once
// Everything the hex pane does that is not drawing: the bytes and their
// changed marks, caret, selection, insert mode, bookmarks, the keyboard,
// typing, clipboard edits and undo. Plain C++ so it is tested without a
// window; HexEditorControl only maps events onto it and paints it.
#include "controls/HexDocument.h"
#include "controls/HexUndo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vantor::hex {

inline constexpr int BytesPerRow = 16;
inline constexpr int BytesPerColumn = 2;

enum class Key {
    None,
    Left,
    Right,
    Up,
    Down,
    PageUp,
    PageDown,
    Home,
    End,
    Tab,
    Backtab,
    Insert,
    Delete,
    Backspace,
    Character, // a typed character, or with Ctrl the letter or digit of the key
};

struct KeyStroke {
    Key key = Key::None;
    char32_t ch = 0;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

enum class ClipboardAction { None, Copy, Cut, Paste };

struct KeyOutcome {
    bool handled = false;
    ClipboardAction clipboard = ClipboardAction::None;
};

class HexEditorCore {
public:
    HexEditorCore() = default;

    // --- Content --------------------------------------------------------
    // Replaces everything with a copy of bytes: unmodified, no marks, no
    // history, caret on the first byte, no selection, no bookmarks.
    void load(std::span<const uint8_t> bytes);
    // Two-step load for readers that fill the bytes themselves: beginLoad
    // returns room for n bytes, endLoad says how many were filled.
    uint8_t* beginLoad(std::size_t n);
    void endLoad(std::size_t filled);

    std::size_t size() const { return store_.size(); }
    const uint8_t* data() const { return store_.data(); }
    uint8_t at(std::size_t i) const { return store_[i]; }
    std::size_t capacity() const { return store_.capacity(); }
    // Copies up to count bytes from index; returns how many were copied
    // (fewer when the content ends first).
    std::size_t read(void* dest, std::size_t index, std::size_t count) const;

    // True when the content differs from what was loaded (or last declared
    // unmodified) by the user's edits, and is not empty.
    bool modified() const;
    // false: the current content becomes the unmodified state; marks and
    // history are cleared. true: the content counts as modified.
    void setModified(bool flag);

    const MarkSet& marks() const { return marks_; }
    bool isMarked(std::size_t pos) const { return marks_.contains(pos); }

    // --- Caret, selection, mode ----------------------------------------
    const Caret& caret() const { return caret_; }
    // Moves the caret (clamped to where it may stand); extend grows the
    // selection from where the caret was, otherwise the selection goes.
    // Ends a typing run.
    void moveCaret(Caret to, bool extend = false);
    bool insertMode() const { return insert_; }
    void setInsertMode(bool on);
    // Highest byte position the caret may stand on, and the number of
    // positions (hex digits or characters) it may take in a column.
    std::size_t maxPos() const;
    std::size_t maxIndex(bool charColumn) const;

    bool hasSelection() const;
    // Selected bytes, half-open; empty without a selection. A selection made
    // by moving the caret runs from where the caret stood to where it
    // stands, and is empty when the two meet; a byte counts once the caret
    // has passed any digit of it.
    Range selection() const;
    // Selects the bytes from `anchor` to `caretPos`, both included, with the
    // caret on `caretPos`.
    void select(std::size_t anchor, std::size_t caretPos, bool charColumn);
    // The pointer's way: the selection grows from its anchor byte (or the
    // caret's byte) to the byte at `to`, both included, and the caret goes there.
    void extendTo(const Caret& to);
    void selectAll();
    void clearSelection() { hasSelection_ = false; }
    std::vector<uint8_t> selectedBytes() const;

    // --- View ------------------------------------------------------------
    // Rows the view shows in full, set by the widget on resize.
    void setPageRows(std::size_t rows);
    std::size_t pageRows() const { return pageRows_; }
    std::size_t topRow() const { return topRow_; }
    void setTopRow(std::size_t row);
    std::size_t rowCount() const;
    std::size_t maxTopRow() const;
    void ensureCaretVisible();

    // --- Bookmarks ----------------------------------------------------
    static constexpr int BookmarkCount = 10;
    std::optional<Caret> bookmark(int n) const {
        return bookmarks_.at(static_cast<std::size_t>(n));
    }
    void setBookmark(int n);
    bool gotoBookmark(int n);

    // --- Editing ----------------------------------------------------------
    KeyOutcome handleKey(const KeyStroke& key);
    // Whether the pane has a use for the key, so that it goes to the pane
    // rather than to a window shortcut.
    static bool usesKey(const KeyStroke& key);
    // A typed character at the caret; false when it was ignored.
    bool typeChar(char32_t ch);
    // Inserts (insert mode, over the selection if any) or overwrites from the
    // selection start or caret without growing (overwrite mode).
    bool paste(std::span<const uint8_t> bytes);
    bool deleteSelection();
    // Deletes the byte at pos (no-op past the end).
    bool deleteByte(std::size_t pos);
    bool undo();
    bool redo();
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    UndoHistory& history() { return history_; }
    const UndoHistory& history() const { return history_; }
    // Ends a typing run: the next typed character starts a new undo step.
    void breakTypingRun() { typingRun_ = false; }
    // Identifies the content: equal values mean equal bytes.
    uint64_t contentState() const { return state_; }

private:
    // What an edit does to the changed-byte marks of the bytes it writes.
    enum class MarkRule {
        Fresh,       // they are new bytes: unmarked
        Keep,        // changed in place in insert mode: marks stay as they are
        MarkChanges, // overwritten: marks stay, and bytes that change value get one
    };
    struct EditRequest {
        std::size_t pos = 0;
        std::size_t oldLen = 0;
        std::span<const uint8_t> bytes;
        MarkRule marks = MarkRule::Fresh;
        bool typing = false; // may continue the current typing run
        Caret after;
    };
    bool edit(const EditRequest& r);
    void place(Caret to, bool extend = false);
    std::vector<Range> marksAfterOverwrite(std::size_t pos, std::span<const uint8_t> bytes) const;
    void shiftBookmarks(std::size_t pos, std::size_t oldLen, std::size_t newLen);
    void resetState();
    Caret clamped(Caret c) const;
    std::size_t indexOf(const Caret& c) const;
    Caret fromIndex(std::size_t index, bool charColumn) const;
    std::size_t caretByte() const;
    void moveVertical(long rows, bool extend, bool strict);
    void moveToRow(std::size_t row, bool extend);
    bool typeHex(int digit);
    bool typeByte(uint8_t b);
    void toggleColumn();

    ByteStore store_;
    MarkSet marks_;
    UndoHistory history_;
    Caret caret_;
    bool insert_ = false;
    bool hasSelection_ = false;
    std::size_t anchor_ = 0;       // in hex digits, see DigitPosition
    std::size_t selectionEnd_ = 0; // likewise; the caret's, or past the last selected byte
    bool typingRun_ = false;
    uint64_t state_ = 0;
    uint64_t cleanState_ = 0;
    uint64_t nextState_ = 1;
    std::size_t pageRows_ = 1;
    std::size_t topRow_ = 0;
    std::array<std::optional<Caret>, BookmarkCount> bookmarks_{};
};

} // namespace vantor::hex
