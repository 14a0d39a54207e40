#pragma once
// A deliberately plain model of the hex pane's editing rules: a vector of
// bytes, a flag per byte for the changed marks, whole snapshots for undo.
// Differential tests drive it and the real pane with the same random edits
// and demand identical results.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace vantor::hextest {

struct HexModel {
    struct Snap {
        std::vector<uint8_t> bytes, marks;
    };
    std::vector<uint8_t> bytes, marks;
    std::size_t pos = 0;
    int nibble = 0;
    bool charCol = false;
    bool insert = false;
    bool hasSel = false;
    std::size_t selB = 0, selE = 0; // half-open
    std::vector<Snap> undoStack, redoStack;
    bool run = false;

    void load(const std::vector<uint8_t>& b) {
        bytes = b;
        marks.assign(b.size(), 0);
        undoStack.clear();
        redoStack.clear();
        pos = 0;
        nibble = 0;
        hasSel = false;
        run = false;
    }
    std::size_t size() const { return bytes.size(); }
    bool modified() const { return !undoStack.empty() && !bytes.empty(); }
    void clean() {
        std::fill(marks.begin(), marks.end(), 0);
        undoStack.clear();
        redoStack.clear();
        run = false;
    }

    // Where the caret may stand: in overwrite mode on the last byte at most,
    // in insert mode also just after it.
    std::size_t maxIdx(bool c) const {
        const std::size_t n = size();
        if (c)
            return insert ? n : (n ? n - 1 : 0);
        return insert ? 2 * n : (n ? 2 * n - 1 : 0);
    }
    void setIdx(std::size_t idx, bool c) {
        idx = std::min(idx, maxIdx(c));
        charCol = c;
        pos = c ? idx : idx / 2;
        nibble = c ? 0 : static_cast<int>(idx % 2);
    }
    std::size_t idx() const { return charCol ? pos : pos * 2 + static_cast<std::size_t>(nibble); }
    void place(std::size_t p, int nib, bool c) {
        setIdx(c ? p : p * 2 + static_cast<std::size_t>(nib), c);
        hasSel = false;
        run = false;
    }
    void select(std::size_t a, std::size_t b, bool c) { // both bytes included
        place(b, 0, c);
        if (size() == 0)
            return;
        a = std::min(a, size() - 1);
        b = std::min(b, size() - 1);
        hasSel = true;
        selB = std::min(a, b);
        selE = std::max(a, b) + 1;
    }

    Snap snap() const { return {bytes, marks}; }
    // Bookkeeping after an edit that is not typing.
    void committed(const Snap& before, bool changed) {
        run = false;
        if (!changed)
            return;
        undoStack.push_back(before);
        redoStack.clear();
    }
    // Typing joins the step a typing run started.
    void typed(const Snap& before, bool changed) {
        if (run || !changed)
            return;
        undoStack.push_back(before);
        redoStack.clear();
        run = true;
    }
    bool replaceFresh(std::size_t b, std::size_t e, const std::vector<uint8_t>& with) {
        const bool same =
            e - b == with.size() && std::equal(with.begin(), with.end(), bytes.begin() + b);
        if (same)
            return false;
        bytes.erase(bytes.begin() + b, bytes.begin() + e);
        marks.erase(marks.begin() + b, marks.begin() + e);
        bytes.insert(bytes.begin() + b, with.begin(), with.end());
        marks.insert(marks.begin() + b, with.size(), 0);
        return true;
    }
    bool overwrite(std::size_t p, uint8_t v) {
        if (bytes[p] == v)
            return false;
        bytes[p] = v;
        marks[p] = 1;
        return true;
    }

    void type(char32_t ch) {
        const Snap before = snap();
        bool changed = false;
        if (charCol) {
            if (ch < 32 || ch > 255)
                return;
            const auto b = static_cast<uint8_t>(ch);
            if (insert) {
                const std::size_t s = hasSel ? selB : pos;
                const std::size_t e = hasSel ? selE : pos;
                changed = replaceFresh(s, e, {b});
                hasSel = false;
                setIdx(s + 1, true);
            } else {
                if (pos >= size())
                    return;
                changed = overwrite(pos, b);
                hasSel = false;
                setIdx(pos + 1, true);
            }
        } else {
            int d = -1;
            if (ch >= '0' && ch <= '9')
                d = static_cast<int>(ch - '0');
            else if (ch >= 'a' && ch <= 'f')
                d = static_cast<int>(ch - 'a') + 10;
            else if (ch >= 'A' && ch <= 'F')
                d = static_cast<int>(ch - 'A') + 10;
            if (d < 0)
                return;
            if (insert) {
                if (hasSel) {
                    const std::size_t s = selB;
                    changed = replaceFresh(selB, selE, {static_cast<uint8_t>(d << 4)});
                    hasSel = false;
                    setIdx(s * 2 + 1, false);
                } else if (nibble == 0) {
                    changed = replaceFresh(pos, pos, {static_cast<uint8_t>(d << 4)});
                    setIdx(pos * 2 + 1, false);
                } else {
                    const auto v = static_cast<uint8_t>((bytes[pos] & 0xF0) | d);
                    changed = bytes[pos] != v;
                    bytes[pos] = v; // in place: the mark stays as it is
                    setIdx(idx() + 1, false);
                }
            } else {
                if (pos >= size())
                    return;
                const bool high = nibble == 0 || hasSel;
                const auto v = high ? static_cast<uint8_t>((bytes[pos] & 0x0F) | (d << 4))
                                    : static_cast<uint8_t>((bytes[pos] & 0xF0) | d);
                changed = overwrite(pos, v);
                hasSel = false;
                setIdx(idx() + 1, false);
            }
        }
        typed(before, changed);
    }

    void paste(const std::vector<uint8_t>& data) {
        const Snap before = snap();
        if (data.empty()) {
            run = false;
            return;
        }
        bool changed = false;
        if (insert) {
            const std::size_t s = hasSel ? selB : pos;
            const std::size_t e = hasSel ? selE : pos;
            changed = replaceFresh(s, e, data);
            if (changed) {
                hasSel = false;
                setIdx(s + data.size(), charCol);
            }
        } else {
            const std::size_t s = hasSel ? selB : pos;
            if (s >= size()) {
                run = false;
                return;
            }
            const std::size_t n = std::min(data.size(), size() - s);
            for (std::size_t i = 0; i < n; ++i)
                changed |= overwrite(s + i, data[i]);
            hasSel = false;
            setIdx(s + n, charCol);
        }
        committed(before, changed);
    }

    void eraseAt(std::size_t b, std::size_t e) {
        const Snap before = snap();
        bytes.erase(bytes.begin() + b, bytes.begin() + e);
        marks.erase(marks.begin() + b, marks.begin() + e);
        hasSel = false;
        setIdx(charCol ? b : b * 2, charCol);
        committed(before, true);
    }
    // Delete in insert mode, or Ctrl+Delete in any mode.
    void del() {
        run = false;
        if (hasSel)
            eraseAt(selB, selE);
        else if (pos < size())
            eraseAt(pos, pos + 1);
    }
    // Backspace in insert mode.
    void backspace() {
        run = false;
        if (hasSel)
            eraseAt(selB, selE);
        else if (!charCol && nibble == 1 && pos < size())
            eraseAt(pos, pos + 1); // a half-typed byte goes first
        else if (pos > 0)
            eraseAt(pos - 1, pos);
    }
    void toggleInsert() {
        insert = !insert;
        run = false;
        setIdx(idx(), charCol);
    }
    bool undo() {
        run = false;
        hasSel = false;
        if (undoStack.empty())
            return false;
        redoStack.push_back(snap());
        bytes = undoStack.back().bytes;
        marks = undoStack.back().marks;
        undoStack.pop_back();
        setIdx(idx(), charCol);
        return true;
    }
    bool redo() {
        run = false;
        hasSel = false;
        if (redoStack.empty())
            return false;
        undoStack.push_back(snap());
        bytes = redoStack.back().bytes;
        marks = redoStack.back().marks;
        redoStack.pop_back();
        setIdx(idx(), charCol);
        return true;
    }
};

// Positions that like to break things: ends, row edges, 4 KiB edges.
inline std::size_t interestingPos(std::mt19937& rng, std::size_t size) {
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n)(rng);
    };
    std::size_t p = 0;
    switch (pick(5)) {
    case 0:
        p = size >= 2 ? size - 1 - pick(1) : 0;
        break;
    case 1:
        p = pick(3);
        break;
    case 2:
        p = pick(size / 4096 + 1) * 4096 + pick(3) - 2;
        break;
    case 3:
        p = pick(size / 16 + 1) * 16 + pick(3) - 2;
        break;
    default:
        p = pick(size);
        break;
    }
    return std::min(p, size);
}

} // namespace vantor::hextest
