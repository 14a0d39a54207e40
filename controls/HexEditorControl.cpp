#include "controls/HexEditorControl.h"
#include "controls/HexFind.h"

#include <QBuffer>
#include <QClipboard>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIODevice>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vantor {

using hex::BytesPerColumn;
using hex::BytesPerRow;

namespace {

constexpr std::size_t Row = BytesPerRow;
constexpr int Columns = BytesPerRow / BytesPerColumn;

QFont paneFont() {
    QFont f(QStringLiteral("Courier New"));
    f.setPixelSize(15);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    if (!QFontInfo(f).fixedPitch()) {
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPixelSize(15);
    }
    return f;
}

// The character column shows each byte as the character of the same code.
// Control codes have no glyph and show as a dot: 0-31, and 127-159 which
// Unicode also reserves for control codes.
QChar displayChar(uint8_t b) {
    return b < 32 || (b >= 127 && b < 160) ? QChar(u'.') : QChar(static_cast<char16_t>(b));
}

} // namespace

HexEditorControl::HexEditorControl(QWidget* parent)
    : QAbstractScrollArea(parent), offsetFormat_(*hex::OffsetFormat::Parse(OffsetFormatText)),
      font_(paneFont()) {
    const QFontMetricsF fm(font_);
    const qreal cw = fm.horizontalAdvance(QLatin1Char('0'));
    for (int i = 0; i < 256; ++i) {
        const QChar ch = displayChar(static_cast<uint8_t>(i));
        charCells_[static_cast<std::size_t>(i)] = QString(ch);
        charFitsGrid_[static_cast<std::size_t>(i)] =
            fm.inFont(ch) && std::abs(fm.horizontalAdvance(ch) - cw) < 0.01;
    }
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    relayout();
}

HexEditorControl::~HexEditorControl() = default;

// --- The program's operations -------------------------------------------------

void HexEditorControl::LoadFromStream(std::span<const uint8_t> bytes) {
    const Snapshot before = snapshot();
    setDifferences({});
    core_.load(bytes);
    dragging_ = false;
    relayout();
    afterAction(before);
    emit contentChanged();
}

void HexEditorControl::LoadFromStream(const QByteArray& bytes) {
    LoadFromStream(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                            static_cast<std::size_t>(bytes.size())));
}

bool HexEditorControl::LoadFromStream(QIODevice& stream) {
    if (auto* buffer = qobject_cast<QBuffer*>(&stream)) {
        // An in-memory stream is copied straight from its bytes.
        LoadFromStream(buffer->data());
        return true;
    }
    if (!stream.isOpen() && !stream.open(QIODevice::ReadOnly)) {
        LoadFromStream(std::span<const uint8_t>{});
        return false;
    }
    if (stream.isSequential()) {
        LoadFromStream(stream.readAll());
        return true;
    }
    const qint64 n = stream.size();
    if (n < 0 || static_cast<uint64_t>(n) > hex::MaxContentSize || !stream.seek(0)) {
        LoadFromStream(std::span<const uint8_t>{});
        return false;
    }
    const Snapshot before = snapshot();
    setDifferences({});
    auto* dest = reinterpret_cast<char*>(core_.beginLoad(static_cast<std::size_t>(n)));
    qint64 got = 0;
    while (got < n) {
        const qint64 r = stream.read(dest + got, n - got);
        if (r <= 0)
            break;
        got += r;
    }
    core_.endLoad(got == n ? static_cast<std::size_t>(n) : 0);
    relayout();
    afterAction(before);
    emit contentChanged();
    return got == n;
}

std::size_t HexEditorControl::GetDataSize() const {
    return core_.size();
}

bool HexEditorControl::GetModified() const {
    return core_.modified();
}

void HexEditorControl::SetModified(bool flag) {
    core_.setModified(flag);
    viewport()->update();
    emit contentChanged();
}

std::size_t HexEditorControl::ReadBuffer(void* dest, std::size_t index, std::size_t count) const {
    return core_.read(dest, index, count);
}

void HexEditorControl::setDifferences(hex::DifferenceMap differences) {
    if (differences.count() == 0 && differences_.count() == 0)
        return;
    differences_ = std::move(differences);
    viewport()->update();
    emit differencesChanged();
}

bool HexEditorControl::goToDifference(bool forward) {
    const auto at = differences_.next(core_.caret().pos, forward);
    if (!at || !hex::GoToOffset(core_, *at))
        return false;
    revealCaretColumn();
    syncScrollBars();
    viewport()->update();
    emit caretMoved();
    return true;
}

QSize HexEditorControl::sizeForRows(int rows) const {
    const int frame = 2 * frameWidth();
    const int bar = verticalScrollBar()->sizeHint().width();
    return QSize(qCeil(layout_.totalW) + 1 + bar + frame,
                 layout_.rulerH + rows * layout_.rowH + frame);
}

// --- Commands -------------------------------------------------------------------

void HexEditorControl::setInsertMode(bool on) {
    const Snapshot before = snapshot();
    core_.setInsertMode(on);
    afterAction(before);
}

namespace {

// The copied bytes, with their hex text made only when someone asks for it:
// a 64 MiB selection as text would take some 200 MB more, most often for
// nothing, as a paste back into the pane takes the bytes.
class ByteMimeData : public QMimeData {
public:
    explicit ByteMimeData(QByteArray bytes) : bytes_(std::move(bytes)) {}
    QStringList formats() const override {
        return {QStringLiteral("text/plain"), QString::fromLatin1(HexEditorControl::ByteMimeType)};
    }
    bool hasFormat(const QString& type) const override { return formats().contains(type); }

protected:
    QVariant retrieveData(const QString& type, QMetaType) const override {
        if (type == QLatin1String(HexEditorControl::ByteMimeType))
            return bytes_;
        if (type == QLatin1String("text/plain"))
            return HexEditorControl::toHexText(
                std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes_.constData()),
                                         static_cast<std::size_t>(bytes_.size())));
        return {};
    }

private:
    QByteArray bytes_;
};

} // namespace

void HexEditorControl::copy() {
    const hex::Range sel = core_.selection();
    if (sel.size() == 0)
        return;
    QByteArray bytes(static_cast<qsizetype>(sel.size()), Qt::Uninitialized);
    core_.read(bytes.data(), sel.begin, sel.size());
    QGuiApplication::clipboard()->setMimeData(new ByteMimeData(std::move(bytes)));
}

void HexEditorControl::cut() {
    if (!core_.hasSelection())
        return;
    copy();
    const Snapshot before = snapshot();
    core_.deleteSelection();
    afterAction(before);
}

void HexEditorControl::paste() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (!mime)
        return;
    QByteArray bytes;
    if (mime->hasFormat(QString::fromLatin1(ByteMimeType))) {
        bytes = mime->data(QString::fromLatin1(ByteMimeType));
    } else if (mime->hasText()) {
        // The column the caret stands in says how text reads: characters in
        // the character column, hex digits in the hex column.
        if (core_.caret().charColumn)
            bytes = mime->text().toLatin1();
        else if (auto parsed = parseHexText(mime->text()))
            bytes = *parsed;
    }
    const Snapshot before = snapshot();
    core_.paste(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                         static_cast<std::size_t>(bytes.size())));
    afterAction(before);
}

void HexEditorControl::undo() {
    const Snapshot before = snapshot();
    core_.undo();
    afterAction(before);
}

void HexEditorControl::redo() {
    const Snapshot before = snapshot();
    core_.redo();
    afterAction(before);
}

void HexEditorControl::selectAll() {
    const Snapshot before = snapshot();
    core_.selectAll();
    afterAction(before);
}

void HexEditorControl::scrollToRow(std::size_t row) {
    core_.setTopRow(row);
    syncScrollBars();
    viewport()->update();
}

QString HexEditorControl::toHexText(std::span<const uint8_t> bytes) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    QString out;
    if (bytes.empty())
        return out;
    out.resize(static_cast<qsizetype>(bytes.size() * 3 - 1));
    QChar* p = out.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            *p++ = u' ';
        *p++ = QChar(Digits[bytes[i] >> 4]);
        *p++ = QChar(Digits[bytes[i] & 15]);
    }
    return out;
}

std::optional<QByteArray> HexEditorControl::parseHexText(const QString& text) {
    QByteArray out;
    int pending = -1;
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u',') {
            if (pending >= 0)
                return std::nullopt; // half a byte before a separator
            continue;
        }
        int v = -1;
        if (c >= u'0' && c <= u'9')
            v = c - u'0';
        else if (c >= u'a' && c <= u'f')
            v = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            v = c - u'A' + 10;
        if (v < 0)
            return std::nullopt;
        if (pending < 0) {
            pending = v;
        } else {
            out.append(static_cast<char>(pending << 4 | v));
            pending = -1;
        }
    }
    if (pending >= 0 || out.isEmpty())
        return std::nullopt;
    return out;
}

// --- Layout and scrolling ---------------------------------------------------------

void HexEditorControl::relayout() {
    if (inRelayout_)
        return;
    inRelayout_ = true;
    Layout& L = layout_;
    const QFontMetricsF fm(font_);
    L.cw = fm.horizontalAdvance(QLatin1Char('0'));
    L.rowH = qCeil(fm.height()) + 2; // room for the caret frame
    L.rulerH = L.rowH + 2;
    L.ascent = fm.ascent() + 1;
    const qreal pad = L.cw / 2;
    L.gutterX = pad;
    L.offsetX = L.gutterX + L.cw + pad;
    const int labelChars = offsetFormat_.labelLength(core_.size(), BytesPerRow, BytesPerColumn);
    L.offsetW = L.offsetX + labelChars * L.cw + pad;
    L.hexX = L.offsetW + L.cw;
    L.columnW = (2 * BytesPerColumn + 1) * L.cw;
    L.charX = L.hexX + Columns * L.columnW + L.cw;
    L.totalW = L.charX + BytesPerRow * L.cw + pad;

    const int dataH = std::max(0, viewport()->height() - L.rulerH);
    L.visibleRows = (dataH + L.rowH - 1) / L.rowH;
    core_.setPageRows(static_cast<std::size_t>(std::max(1, dataH / L.rowH)));
    syncScrollBars();
    inRelayout_ = false;
}

void HexEditorControl::syncScrollBars() {
    // The flag keeps scrollContentsBy from feeding our own changes back.
    const bool was = inRelayout_;
    inRelayout_ = true;
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, static_cast<int>(core_.maxTopRow()));
    v->setPageStep(static_cast<int>(core_.pageRows()));
    v->setSingleStep(1);
    v->setValue(static_cast<int>(core_.topRow()));
    QScrollBar* h = horizontalScrollBar();
    const int w = viewport()->width();
    h->setRange(0, std::max(0, qCeil(layout_.totalW) - w));
    h->setPageStep(w);
    h->setSingleStep(qCeil(layout_.cw));
    inRelayout_ = was;
}

void HexEditorControl::scrollContentsBy(int, int) {
    if (!inRelayout_)
        core_.setTopRow(static_cast<std::size_t>(verticalScrollBar()->value()));
    viewport()->update();
}

void HexEditorControl::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    relayout();
}

void HexEditorControl::revealCaretColumn() {
    // A narrow pane scrolls sideways to keep the caret's cell in view.
    const hex::Caret& c = core_.caret();
    const int b = static_cast<int>(c.pos % Row);
    const qreal x = c.charColumn ? layout_.charX + b * layout_.cw : hexCellX(b, c.nibble);
    QScrollBar* h = horizontalScrollBar();
    const int w = viewport()->width();
    if (x < h->value())
        h->setValue(static_cast<int>(std::floor(x)));
    else if (x + layout_.cw > h->value() + w)
        h->setValue(qCeil(x + layout_.cw) - w);
}

HexEditorControl::Snapshot HexEditorControl::snapshot() const {
    return {core_.contentState(), core_.caret(), core_.insertMode(), core_.size()};
}

void HexEditorControl::afterAction(const Snapshot& before) {
    if (before.size != core_.size() && differences_.count() != 0)
        setDifferences({}); // the bytes moved under the marks
    if (before.size != core_.size() || before.insert != core_.insertMode())
        relayout(); // the offset width and the row count may change
    else
        syncScrollBars();
    if (!(before.caret == core_.caret()) && !dragging_)
        revealCaretColumn();
    viewport()->update();
    if (before.state != core_.contentState())
        emit contentChanged();
    if (!(before.caret == core_.caret()))
        emit caretMoved();
    if (before.insert != core_.insertMode())
        emit insertModeChanged(core_.insertMode());
}

// --- Keyboard -------------------------------------------------------------------

std::optional<hex::KeyStroke> HexEditorControl::toKeyStroke(const QKeyEvent* e) const {
    using hex::Key;
    const Qt::KeyboardModifiers mods = e->modifiers();
    hex::KeyStroke k;
    k.shift = mods.testFlag(Qt::ShiftModifier);
    k.ctrl = mods.testFlag(Qt::ControlModifier);
    k.alt = mods.testFlag(Qt::AltModifier) || mods.testFlag(Qt::MetaModifier);
    switch (e->key()) {
    case Qt::Key_Left:
        k.key = Key::Left;
        return k;
    case Qt::Key_Right:
        k.key = Key::Right;
        return k;
    case Qt::Key_Up:
        k.key = Key::Up;
        return k;
    case Qt::Key_Down:
        k.key = Key::Down;
        return k;
    case Qt::Key_PageUp:
        k.key = Key::PageUp;
        return k;
    case Qt::Key_PageDown:
        k.key = Key::PageDown;
        return k;
    case Qt::Key_Home:
        k.key = Key::Home;
        return k;
    case Qt::Key_End:
        k.key = Key::End;
        return k;
    case Qt::Key_Tab:
        k.key = Key::Tab;
        return k;
    case Qt::Key_Backtab:
        k.key = Key::Backtab;
        return k;
    case Qt::Key_Insert:
        k.key = Key::Insert;
        return k;
    case Qt::Key_Delete:
        k.key = Key::Delete;
        return k;
    case Qt::Key_Backspace:
        k.key = Key::Backspace;
        return k;
    default:
        break;
    }
    const int key = e->key();
    if (k.ctrl) {
        // With Ctrl the key counts, not its text; Shift turns digits into
        // symbols on most layouts, so those map back to their digit.
        static constexpr char ShiftedDigits[] = ")!@#$%^&*(";
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            k.ch = static_cast<char32_t>('0' + (key - Qt::Key_0));
        else if (key >= Qt::Key_A && key <= Qt::Key_Z)
            k.ch = static_cast<char32_t>('a' + (key - Qt::Key_A));
        else if (key > 0 && key < 128 && std::strchr(ShiftedDigits, key))
            k.ch = static_cast<char32_t>('0' + (std::strchr(ShiftedDigits, key) - ShiftedDigits));
        else
            return std::nullopt;
        k.key = Key::Character;
        return k;
    }
    const QList<uint> text = e->text().toUcs4();
    if (text.isEmpty() || text.front() < 32 || text.front() == 127)
        return std::nullopt; // Enter, Escape and the like belong to the window
    k.key = Key::Character;
    k.ch = static_cast<char32_t>(text.front());
    return k;
}

namespace {

// Ctrl+Tab and Ctrl+Shift+Tab leave the pane, since Tab itself switches its
// columns: 1 forward, -1 backward, 0 for any other key.
int FocusStep(const QKeyEvent* e) {
    if (!e->modifiers().testFlag(Qt::ControlModifier))
        return 0;
    if (e->key() == Qt::Key_Backtab ||
        (e->key() == Qt::Key_Tab && e->modifiers().testFlag(Qt::ShiftModifier)))
        return -1;
    return e->key() == Qt::Key_Tab ? 1 : 0;
}

} // namespace

bool HexEditorControl::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        // Our keys win over window shortcuts while the pane has the focus.
        const auto* key = static_cast<QKeyEvent*>(e);
        const auto k = toKeyStroke(key);
        if (FocusStep(key) != 0 || (k && hex::HexEditorCore::usesKey(*k))) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

bool HexEditorControl::focusNextPrevChild(bool) {
    return false;
} // Tab switches columns

void HexEditorControl::keyPressEvent(QKeyEvent* e) {
    if (const int step = FocusStep(e)) {
        QAbstractScrollArea::focusNextPrevChild(step > 0);
        e->accept();
        return;
    }
    const Snapshot before = snapshot();
    const auto k = toKeyStroke(e);
    if (!k) {
        // Keys we do not use still drop an overwrite-mode selection, as every
        // other key pressed without modifiers does.
        const int key = e->key();
        const bool modifierKey = key == Qt::Key_Shift || key == Qt::Key_Control ||
                                 key == Qt::Key_Alt || key == Qt::Key_Meta || key == Qt::Key_AltGr;
        if (!modifierKey && !core_.insertMode() && core_.hasSelection() &&
            !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) {
            core_.clearSelection();
            viewport()->update();
        }
        e->ignore();
        return;
    }
    const hex::KeyOutcome out = core_.handleKey(*k);
    if (!out.handled) {
        e->ignore();
        return;
    }
    switch (out.clipboard) {
    case hex::ClipboardAction::Copy:
        copy();
        break;
    case hex::ClipboardAction::Cut:
        if (core_.hasSelection()) {
            copy();
            core_.deleteSelection();
        }
        break;
    case hex::ClipboardAction::Paste:
        paste();
        break;
    case hex::ClipboardAction::None:
        break;
    }
    afterAction(before);
    e->accept();
}

// --- Mouse ------------------------------------------------------------------------

qreal HexEditorControl::hexCellX(int byteInRow, int nibble) const {
    return layout_.hexX + (byteInRow / BytesPerColumn) * layout_.columnW +
           (byteInRow % BytesPerColumn) * 2 * layout_.cw + nibble * layout_.cw;
}

QRect HexEditorControl::cellRect(std::size_t pos, bool charColumn, int nibble) const {
    const Layout& L = layout_;
    const std::size_t row = pos / Row;
    const int b = static_cast<int>(pos % Row);
    const qreal x = charColumn ? L.charX + b * L.cw : hexCellX(b, nibble);
    const qreal y =
        L.rulerH + (static_cast<qreal>(row) - static_cast<qreal>(core_.topRow())) * L.rowH;
    return QRectF(x - horizontalScrollBar()->value(), y, L.cw, L.rowH).toRect();
}

HexEditorControl::Hit HexEditorControl::hitTest(QPoint p) const {
    const Layout& L = layout_;
    const qreal x = p.x() + horizontalScrollBar()->value();
    const int yIn = std::max(0, p.y() - L.rulerH);
    const std::size_t row = core_.topRow() + static_cast<std::size_t>(yIn / L.rowH);
    Hit h;
    h.valid = true;
    int b = 0;
    if (x >= L.charX - L.cw / 2) {
        b = std::clamp(static_cast<int>(std::floor((x - L.charX) / L.cw)), 0, BytesPerRow - 1);
        h.caret.charColumn = true;
    } else if (x >= L.hexX) {
        const qreal rel = x - L.hexX;
        const int col = std::clamp(static_cast<int>(rel / L.columnW), 0, Columns - 1);
        const int digit =
            std::clamp(static_cast<int>((rel - col * L.columnW) / L.cw), 0, 2 * BytesPerColumn - 1);
        b = col * BytesPerColumn + digit / 2;
        h.caret.nibble = digit % 2;
    }
    h.caret.pos = row * Row + static_cast<std::size_t>(b);
    return h;
}

void HexEditorControl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const Snapshot before = snapshot();
    const Hit h = hitTest(e->position().toPoint());
    if (e->modifiers().testFlag(Qt::ShiftModifier))
        core_.extendTo(h.caret);
    else
        core_.moveCaret(h.caret);
    pressPos_ = core_.caret().pos;
    dragging_ = true;
    afterAction(before);
}

void HexEditorControl::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_ || !(e->buttons() & Qt::LeftButton))
        return;
    const Snapshot before = snapshot();
    QPoint p = e->position().toPoint();
    // Dragging past the top or bottom edge scrolls a row per move.
    if (p.y() < layout_.rulerH && core_.topRow() > 0) {
        core_.setTopRow(core_.topRow() - 1);
    } else if (p.y() >= viewport()->height()) {
        core_.setTopRow(core_.topRow() + 1);
        p.setY(viewport()->height() - 1);
    }
    const Hit h = hitTest(p);
    if (h.caret.pos != pressPos_ || core_.hasSelection())
        core_.extendTo(h.caret);
    afterAction(before);
}

void HexEditorControl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(e);
        return;
    }
    dragging_ = false;
    e->accept();
}

void HexEditorControl::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void HexEditorControl::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

void HexEditorControl::changeEvent(QEvent* e) {
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::EnabledChange)
        viewport()->update();
}

// --- Painting -----------------------------------------------------------------------

void HexEditorControl::paintRuler(QPainter& p) const {
    static constexpr char Digits[] = "0123456789ABCDEF";
    const Layout& L = layout_;
    p.fillRect(QRectF(0, 0, L.totalW, L.rulerH), palette().color(QPalette::Button));
    p.setPen(palette().color(QPalette::ButtonText));
    // Each position's digit centred over the byte's two hex digits, and over
    // its character.
    QString hexRuler(Columns * (2 * BytesPerColumn + 1), u' ');
    QString charRuler(BytesPerRow, u' ');
    for (int b = 0; b < BytesPerRow; ++b) {
        hexRuler[(b / BytesPerColumn) * (2 * BytesPerColumn + 1) + (b % BytesPerColumn) * 2] =
            QChar(Digits[b]);
        charRuler[b] = QChar(Digits[b]);
    }
    const qreal base = L.ascent + (L.rulerH - L.rowH) / 2.0;
    p.drawText(QPointF(L.hexX + L.cw / 2, base), hexRuler);
    p.drawText(QPointF(L.charX, base), charRuler);
}

void HexEditorControl::paintEvent(QPaintEvent*) {
    enum Style : uint8_t { Plain, Changed, Selected, Different };
    const Layout& L = layout_;
    const QPalette& pal = palette();
    const bool enabled = isEnabled();
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), pal.color(QPalette::Base));
    p.setFont(font_);
    p.translate(-horizontalScrollBar()->value(), 0);
    p.fillRect(QRectF(0, 0, L.offsetW, viewport()->height()), pal.color(QPalette::Button));

    const std::size_t size = core_.size();
    const std::size_t top = core_.topRow();
    const std::size_t end =
        std::min(core_.rowCount(), top + static_cast<std::size_t>(L.visibleRows));
    const uint8_t* data = core_.data();
    const hex::Range sel = core_.selection();
    const std::vector<hex::Range>& marks = core_.marks().ranges();
    std::size_t mark = core_.marks().firstEndingAfter(top * Row);
    const hex::Caret& caret = core_.caret();
    const std::size_t caretRow = caret.pos / Row;
    const QColor textColor =
        pal.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::Text);
    const QColor selBack = pal.color(QPalette::Highlight);
    const QColor selText = pal.color(QPalette::HighlightedText);

    for (std::size_t row = top; row < end; ++row) {
        const qreal y = L.rulerH + static_cast<qreal>(row - top) * L.rowH;
        const qreal base = y + L.ascent;
        const std::size_t rowStart = row * Row;

        const bool current = row == caretRow;
        if (current)
            p.fillRect(QRectF(0, y, L.offsetW, L.rowH), pal.color(QPalette::Dark));
        p.setPen(current ? pal.color(QPalette::Light) : QColor(Qt::black));
        p.drawText(QPointF(L.offsetX, base), QString::fromStdString(offsetFormat_.format(
                                                 rowStart, size, BytesPerRow, BytesPerColumn)));

        const int n = static_cast<int>(std::min<std::size_t>(Row, size - rowStart));
        std::array<Style, BytesPerRow> style{};
        for (int b = 0; b < n; ++b) {
            const std::size_t pos = rowStart + static_cast<std::size_t>(b);
            while (mark < marks.size() && marks[mark].end <= pos)
                ++mark;
            if (pos >= sel.begin && pos < sel.end)
                style[static_cast<std::size_t>(b)] = Selected;
            else if (mark < marks.size() && marks[mark].begin <= pos)
                style[static_cast<std::size_t>(b)] = Changed;
            else if (differences_.marked(pos))
                style[static_cast<std::size_t>(b)] = Different;
        }
        auto st = [&](int b) { return style[static_cast<std::size_t>(b)]; };

        // Backgrounds: the selection runs unbroken across column gaps,
        // changed bytes get their own cells.
        for (int b = 0; b < n; ++b) {
            if (st(b) == Changed || st(b) == Different) {
                const QColor& back = st(b) == Changed ? ChangedBackground : DifferentBackground;
                p.fillRect(QRectF(hexCellX(b, 0), y, 2 * L.cw, L.rowH), back);
                p.fillRect(QRectF(L.charX + b * L.cw, y, L.cw, L.rowH), back);
            } else if (st(b) == Selected) {
                int e = b;
                while (e + 1 < n && st(e + 1) == Selected)
                    ++e;
                p.fillRect(
                    QRectF(hexCellX(b, 0), y, hexCellX(e, 0) + 2 * L.cw - hexCellX(b, 0), L.rowH),
                    selBack);
                p.fillRect(QRectF(L.charX + b * L.cw, y, (e - b + 1) * L.cw, L.rowH), selBack);
                b = e;
            }
        }

        // Text goes in layers, one string per colour: a byte's digits or
        // character stand at their grid place, blanks elsewhere. A few
        // strings per row instead of one per byte.
        static constexpr char Digits[] = "0123456789ABCDEF";
        for (auto& layer : hexLayers_)
            layer.fill(u' ', Columns * (2 * BytesPerColumn + 1));
        for (auto& layer : charLayers_)
            layer.fill(u' ', BytesPerRow);
        std::array<bool, 4> hexUsed{};
        std::array<bool, 3> charUsed{};
        for (int b = 0; b < n; ++b) {
            const uint8_t v = data[rowStart + static_cast<std::size_t>(b)];
            const int col = b / BytesPerColumn;
            const bool marked = st(b) == Changed || st(b) == Different;
            const int h = st(b) == Selected ? 2 : marked ? 3 : col % 2;
            const auto at =
                static_cast<qsizetype>(col * (2 * BytesPerColumn + 1) + (b % BytesPerColumn) * 2);
            QChar* dst = hexLayers_[static_cast<std::size_t>(h)].data() + at;
            dst[0] = QChar(Digits[v >> 4]);
            dst[1] = QChar(Digits[v & 15]);
            hexUsed[static_cast<std::size_t>(h)] = true;
            const int c = st(b) == Selected ? 1 : marked ? 2 : 0;
            if (charFitsGrid_[v]) {
                charLayers_[static_cast<std::size_t>(c)][b] = displayChar(v);
                charUsed[static_cast<std::size_t>(c)] = true;
            } else {
                // A glyph from a fallback font may not match the grid: alone.
                p.setPen(c == 1 ? selText : c == 2 ? ChangedText : textColor);
                p.drawText(QPointF(L.charX + b * L.cw, base), charCells_[v]);
            }
        }
        const QColor hexColors[4] = {enabled ? EvenColumnColor : textColor,
                                     enabled ? OddColumnColor : textColor, selText,
                                     enabled ? ChangedText : textColor};
        for (std::size_t h = 0; h < hexLayers_.size(); ++h) {
            if (!hexUsed[h])
                continue;
            p.setPen(hexColors[h]);
            p.drawText(QPointF(L.hexX, base), hexLayers_[h]);
        }
        const QColor charColors[3] = {textColor, selText, enabled ? ChangedText : textColor};
        for (std::size_t c = 0; c < charLayers_.size(); ++c) {
            if (!charUsed[c])
                continue;
            p.setPen(charColors[c]);
            p.drawText(QPointF(L.charX, base), charLayers_[c]);
        }
    }

    // Bookmarks: their number in the gutter beside the row.
    for (int i = 0; i < hex::HexEditorCore::BookmarkCount; ++i) {
        const auto bm = core_.bookmark(i);
        if (!bm || bm->pos / Row < top || bm->pos / Row >= end)
            continue;
        const qreal y = L.rulerH + static_cast<qreal>(bm->pos / Row - top) * L.rowH;
        const QRectF r(L.gutterX - 1, y + 1, L.cw + 2, L.rowH - 2);
        p.fillRect(r, QColor(0, 128, 0));
        p.setPen(Qt::white);
        p.drawText(r, Qt::AlignCenter, QString::number(i));
    }

    // Caret: a frame on the digit or character, a dotted frame on the same
    // byte in the other column; a bar in insert mode.
    if (caretRow >= top && caretRow < end) {
        const QColor cc = hasFocus() ? CaretColor : CaretColorUnfocused;
        const int b = static_cast<int>(caret.pos % Row);
        const qreal y = L.rulerH + static_cast<qreal>(caretRow - top) * L.rowH;
        const QRectF hexCell(hexCellX(b, caret.charColumn ? 0 : caret.nibble), y,
                             caret.charColumn ? 2 * L.cw : L.cw, L.rowH);
        const QRectF charCell(L.charX + b * L.cw, y, L.cw, L.rowH);
        const QRectF& active = caret.charColumn ? charCell : hexCell;
        const QRectF& other = caret.charColumn ? hexCell : charCell;
        if (core_.insertMode()) {
            p.fillRect(QRectF(active.left() - 1, y + 1, 2, L.rowH - 2), cc);
        } else {
            p.setPen(QPen(cc, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(active.adjusted(1, 1, -1, -1));
        }
        p.setPen(QPen(cc, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(other.adjusted(0.5, 0.5, -0.5, -0.5));
    }

    paintRuler(p);

    p.resetTransform();
    if (hasFocus()) {
        p.setPen(QPen(pal.color(QPalette::WindowText), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(viewport()->rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

} // namespace vantor
