#pragma once
// The hex pane: an offset column, sixteen bytes per row as hex digits grouped
// two bytes to a column, and the same bytes as characters, with a ruler on
// top. It keeps its own copy of the bytes; the program fills it with
// LoadFromStream and takes edits back with ReadBuffer.
//
// Painting touches only the visible rows, and the layout is worked out on
// resize and load, so a screen costs the same at 64 bytes and at 64 MiB.
#include "controls/HexDifferences.h"
#include "controls/HexEditorCore.h"
#include "controls/HexOffsetFormat.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

class QIODevice;

namespace vantor {

class HexEditorControl : public QAbstractScrollArea {
    Q_OBJECT

public:
    // Clipboard format that carries the raw bytes next to the hex text.
    static constexpr const char* ByteMimeType = "application/x-vantor-bytes";
    // The fixed look of the pane.
    static constexpr const char* OffsetFormatText = "-!10:0x|";
    static inline const QColor OddColumnColor{0, 0, 255};  // blue
    static inline const QColor EvenColumnColor{0, 0, 128}; // navy
    static inline const QColor ChangedBackground{255, 255, 168};
    static inline const QColor ChangedText{128, 0, 0}; // maroon
    static inline const QColor DifferentBackground{255, 190, 190};
    static inline const QColor CaretColor{0, 0, 128};            // navy
    static inline const QColor CaretColorUnfocused{0, 255, 255}; // aqua

    explicit HexEditorControl(QWidget* parent = nullptr);
    ~HexEditorControl() override;

    // --- What the program calls -------------------------------------------
    // The "stream" is a byte span (or QByteArray): the whole content becomes
    // a copy of it. Afterwards nothing is modified or marked, the undo
    // history is empty, the caret is on the first byte; the view repaints.
    void LoadFromStream(std::span<const uint8_t> bytes);
    void LoadFromStream(const QByteArray& bytes);
    // A device is read from position 0 to its end (a sequential device from
    // where it stands). False, with the content emptied, when it cannot be read.
    bool LoadFromStream(QIODevice& stream);
    std::size_t GetDataSize() const;
    // True when the user changed the content since the last load or
    // SetModified(false), and the content is not empty.
    bool GetModified() const;
    // false: forget the changes (flag, marks and undo history) and repaint.
    void SetModified(bool flag);
    // Copies count bytes from index into dest; returns how many it copied,
    // fewer when the content ends first.
    std::size_t ReadBuffer(void* dest, std::size_t index, std::size_t count) const;

    // --- More of the pane ----------------------------------------------------
    hex::HexEditorCore& core() { return core_; }
    const hex::HexEditorCore& core() const { return core_; }
    bool insertMode() const { return core_.insertMode(); }
    void setInsertMode(bool on);
    void copy();
    void cut();
    void paste();
    void undo();
    void redo();
    void selectAll();
    std::size_t undoBudget() const { return core_.history().budget(); }
    void setUndoBudget(std::size_t bytes) { core_.history().setBudget(bytes); }
    const QFont& hexFont() const { return font_; }
    // Rows shown in full, and the first one shown.
    std::size_t pageRows() const { return core_.pageRows(); }
    std::size_t topRow() const { return core_.topRow(); }
    void scrollToRow(std::size_t row);
    // Where a byte's hex digit or character is drawn, in viewport pixels.
    QRect cellRect(std::size_t pos, bool charColumn, int nibble = 0) const;

    // Bytes that differ from another image, marked until the next load or a
    // change of the content's size (which moves the bytes under the marks).
    void setDifferences(hex::DifferenceMap differences);
    const hex::DifferenceMap& differences() const { return differences_; }
    // Selects the next (or previous) marked byte, wrapping round; false when
    // nothing is marked.
    bool goToDifference(bool forward);

    // The pane's size that shows whole rows with their characters, and
    // `rows` rows of them, with frame and scroll bar.
    QSize sizeForRows(int rows) const;

    // Bytes as upper-case hex pairs separated by blanks, and back. Parsing
    // accepts blanks, tabs, line breaks and commas between whole pairs.
    static QString toHexText(std::span<const uint8_t> bytes);
    static std::optional<QByteArray> parseHexText(const QString& text);

signals:
    // The content changed (also by undo and redo) or was reloaded.
    void contentChanged();
    void caretMoved();
    void insertModeChanged(bool on);
    void differencesChanged();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Layout {
        qreal cw = 8;  // width of one character
        int rowH = 16; // height of one row
        int rulerH = 16;
        qreal ascent = 12;
        qreal gutterX = 0; // bookmark numbers
        qreal offsetX = 0; // offset labels
        qreal offsetW = 0; // offset column including its padding
        qreal hexX = 0;
        qreal columnW = 0; // one column of two bytes plus the gap after it
        qreal charX = 0;
        qreal totalW = 0;
        int visibleRows = 1; // rows touched by the viewport, partial ones too
    };
    struct Hit {
        hex::Caret caret;
        bool valid = false;
    };
    struct Snapshot {
        uint64_t state;
        hex::Caret caret;
        bool insert;
        std::size_t size;
    };

    void relayout();
    void syncScrollBars();
    void revealCaretColumn();
    Snapshot snapshot() const;
    void afterAction(const Snapshot& before);
    std::optional<hex::KeyStroke> toKeyStroke(const QKeyEvent* e) const;
    Hit hitTest(QPoint p) const;
    qreal hexCellX(int byteInRow, int nibble) const;
    void paintRuler(class QPainter& p) const;

    hex::HexEditorCore core_;
    hex::DifferenceMap differences_;
    hex::OffsetFormat offsetFormat_;
    QFont font_;
    Layout layout_;
    std::array<QString, 256> charCells_;
    std::array<bool, 256> charFitsGrid_{};
    // Per-row text layers, kept to save allocations while painting.
    std::array<QString, 4> hexLayers_;  // even columns, odd columns, selected, changed
    std::array<QString, 3> charLayers_; // plain, selected, changed
    bool dragging_ = false;
    std::size_t pressPos_ = 0;
    bool inRelayout_ = false;
};

} // namespace vantor
