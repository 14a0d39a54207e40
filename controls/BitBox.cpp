#include "controls/BitBox.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace vantor {

namespace {

// Height of the box's frame around its middle row, and the caption's left
// edge; the focus rectangle starts two pixels before the caption.
constexpr int kHalfBox = 8;
constexpr int kBoxWidth = 16;
constexpr int kCaptionLeft = 21;

// A line from `from` towards `to`, leaving out `to` itself, so three-point
// frame lines meet without painting a corner twice. Only straight lines.
void LineExclusive(QPainter& p, QPoint from, QPoint to) {
    const QPoint step((to.x() > from.x()) - (to.x() < from.x()),
                      (to.y() > from.y()) - (to.y() < from.y()));
    if (step.isNull())
        return;
    p.drawLine(from, to - step);
}

void Polyline3(QPainter& p, const QColor& color, QPoint a, QPoint b, QPoint c) {
    p.setPen(QPen(color, 0));
    LineExclusive(p, a, b);
    LineExclusive(p, b, c);
}

} // namespace

BitBox::BitBox(QWidget* parent) : QWidget(parent) {
    SetTabStop(true);
    connect(this, &QObject::objectNameChanged, this, &BitBox::nameChanged);
}

void BitBox::SetState(bool state) {
    state_ = state;
    update();
    emit OnChange(this);
}

void BitBox::SetCaption(const QString& caption) {
    caption_ = caption;
    updateGeometry();
    update();
}

void BitBox::SetOnColor(const QColor& color) {
    onColor_ = color;
    update();
}

void BitBox::SetOffColor(const QColor& color) {
    offColor_ = color;
    update();
}

bool BitBox::TabStop() const {
    return focusPolicy() & Qt::TabFocus;
}

void BitBox::SetTabStop(bool tabStop) {
    // Focus by mouse comes from Click itself, on the release, so the policy
    // only decides whether Tab stops here.
    setFocusPolicy(tabStop ? Qt::TabFocus : Qt::NoFocus);
}

void BitBox::nameChanged(const QString& name) {
    if (caption_.isEmpty()) {
        caption_ = name;
        updateGeometry();
    }
    update();
}

QFont BitBox::digitFont() {
    QFont f(QStringLiteral("Courier"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSize(10);
    f.setBold(true);
    return f;
}

BitBox::Layout BitBox::layout() const {
    Layout l;
    l.mid = (height() - 1) / 2;
    l.box = QRect(QPoint(0, l.mid - kHalfBox), QPoint(kBoxWidth, l.mid + kHalfBox));

    const QFontMetrics dm(digitFont());
    const QString digit = state_ ? QStringLiteral("1") : QStringLiteral("0");
    l.digitTopLeft = QPoint((kBoxWidth - dm.horizontalAdvance(digit)) / 2, l.mid - dm.height() / 2);

    const QFontMetrics cm(font());
    const int ch = cm.height();
    const int y = l.mid - ch / 2;
    l.captionTopLeft = QPoint(kCaptionLeft, y);
    // Right and bottom edges are exclusive in the usual rectangle notation
    // (caption width + 23, mid + height / 2 + 2), hence the - 1.
    l.focusRect = QRect(QPoint(kCaptionLeft - 2, y - 2),
                        QPoint(cm.horizontalAdvance(caption_) + 23 - 1, l.mid + ch / 2 + 2 - 1));
    return l;
}

QColor BitBox::boxFillColor() const {
    return isEnabled() ? QColor(0, 0, 0) : QColor(0x11, 0x11, 0x11);
}

QColor BitBox::digitColor() const {
    if (!isEnabled())
        return palette().color(QPalette::Disabled, QPalette::WindowText);
    return state_ ? onColor_ : offColor_;
}

QColor BitBox::captionColor() const {
    if (!isEnabled())
        return palette().color(QPalette::Disabled, QPalette::WindowText);
    return palette().color(QPalette::WindowText);
}

QColor BitBox::captionShadowColor() const {
    return isEnabled() ? QColor() : palette().color(QPalette::Light);
}

QSize BitBox::sizeHint() const {
    const QFontMetrics cm(font());
    const int ch = cm.height();
    // Tall enough for the box and for the focus rectangle around the text.
    const int mid = std::max(kHalfBox, ch / 2 + 2);
    return QSize(cm.horizontalAdvance(caption_) + 24, 2 * mid + 1);
}

void BitBox::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    const Layout l = layout();
    const int mid = l.mid;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);

    p.fillRect(QRect(0, mid - kHalfBox, kBoxWidth, 2 * kHalfBox), boxFillColor());
    // Sunken: dark on the top and left, light on the bottom and right.
    Polyline3(p, QColor(0x80, 0x80, 0x80), {0, mid + 8}, {0, mid - 8}, {16, mid - 8});
    Polyline3(p, QColor(0x55, 0x55, 0x55), {1, mid + 7}, {1, mid - 7}, {15, mid - 7});
    Polyline3(p, QColor(0xFF, 0xFF, 0xFF), {16, mid - 8}, {16, mid + 8}, {0, mid + 8});
    Polyline3(p, QColor(0xC0, 0xC0, 0xC0), {15, mid - 7}, {15, mid + 7}, {1, mid + 7});

    const QFont df = digitFont();
    p.setFont(df);
    p.setPen(digitColor());
    p.drawText(l.digitTopLeft + QPoint(0, QFontMetrics(df).ascent()),
               state_ ? QStringLiteral("1") : QStringLiteral("0"));

    p.setFont(font());
    const int ascent = QFontMetrics(font()).ascent();
    if (!isEnabled()) {
        p.setPen(captionShadowColor());
        p.drawText(l.captionTopLeft + QPoint(1, 1 + ascent), caption_);
    }
    p.setPen(captionColor());
    p.drawText(l.captionTopLeft + QPoint(0, ascent), caption_);

    if (hasFocus()) {
        // A dotted frame of alternating pixels, as focus frames are drawn.
        QPen dots(palette().color(QPalette::WindowText), 0);
        dots.setDashPattern({1, 1});
        p.setPen(dots);
        p.setBrush(Qt::NoBrush);
        p.drawRect(l.focusRect.adjusted(0, 0, -1, -1));
    }
}

void BitBox::clickToggle() {
    state_ = !state_;
    setFocus(Qt::MouseFocusReason);
    update();
    emit OnClick(this);
    emit OnChange(this);
}

void BitBox::Click() {
    clickToggle();
}

void BitBox::DblClick() {
    clickToggle();
}

void BitBox::mousePressEvent(QMouseEvent* event) {
    // Accepted, so the release comes back here and not to the parent.
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    event->accept();
}

void BitBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPressed = pressed_;
    pressed_ = false;
    // A click needs press and release inside; sliding off cancels it.
    if (wasPressed && rect().contains(event->position().toPoint()))
        Click();
}

void BitBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // The release that ends a double click is not a further click.
    pressed_ = false;
    DblClick();
    event->accept();
}

void BitBox::keyPressEvent(QKeyEvent* event) {
    QWidget::keyPressEvent(event);
    if (event->text() == QLatin1String(" ")) {
        state_ = !state_;
        update();
        emit OnChange(this);
        event->accept();
    }
}

void BitBox::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void BitBox::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void BitBox::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::PaletteChange) {
        if (event->type() == QEvent::FontChange)
            updateGeometry();
        update();
    }
}

} // namespace vantor
