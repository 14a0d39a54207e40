#pragma once
// One bit as a small sunken box showing "1" or "0", with a caption to its
// right. A click, a double click or the space bar flips the bit. Placed from
// code or from a .ui file (promote a QWidget to vantor::BitBox, header
// "controls/BitBox.h").
#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

namespace vantor {

class BitBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool State READ State WRITE SetState)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QColor OnColor READ OnColor WRITE SetOnColor)
    Q_PROPERTY(QColor OffColor READ OffColor WRITE SetOffColor)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)

public:
    explicit BitBox(QWidget* parent = nullptr);

    bool State() const { return state_; }
    // Stores, repaints and raises OnChange, also when the value is unchanged.
    void SetState(bool state);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    QColor OnColor() const { return onColor_; }   // lime by default
    QColor OffColor() const { return offColor_; } // red by default
    void SetOnColor(const QColor& color);
    void SetOffColor(const QColor& color);

    // Whether Tab reaches the box; true from construction. A click takes
    // the focus either way.
    bool TabStop() const;
    void SetTabStop(bool tabStop);

    // Sets the object name; a box without a caption shows its name. The same
    // happens for setObjectName(), which is what a .ui file calls.
    void SetName(const QString& name) { setObjectName(name); }
    void SetEnabled(bool enabled) { setEnabled(enabled); }

    // Where and in which colours paintEvent draws, from the current size,
    // fonts, state and enabled flag. Rectangles are inclusive pixel bounds.
    struct Layout {
        int mid = 0;           // (height - 1) / 2
        QRect box;             // the 17 x 17 sunken frame; its inside is filled
        QPoint digitTopLeft;   // top-left corner of the "1" / "0" text cell
        QPoint captionTopLeft; // enabled position; disabled adds a shadow at +1,+1
        QRect focusRect;       // drawn while the box has the input focus
    };
    Layout layout() const;
    QColor boxFillColor() const;       // black, or 0x111111 when disabled
    QColor digitColor() const;         // OnColor / OffColor, grey text when disabled
    QColor captionColor() const;       // the font colour, grey text when disabled
    QColor captionShadowColor() const; // the embossed highlight; invalid when enabled
    static QFont digitFont();          // "Courier", bold, 10 points

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // Raised after every change of State, with the box that changed.
    void OnChange(vantor::BitBox* sender);
    // Raised by a mouse click and by a double click (never by the keyboard).
    void OnClick(vantor::BitBox* sender);

protected:
    // Mouse click: flip, take the focus, repaint, OnClick, OnChange.
    virtual void Click();
    // Exactly as Click. After the click of its first press, a double click
    // thus flips back: two OnClick and two OnChange in all.
    virtual void DblClick();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The inherited handling runs first; then only a space flips the bit
    // (no OnClick, no focus change). Other keys go on to the parent.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void clickToggle();
    void nameChanged(const QString& name);

    bool state_ = false;
    QString caption_;
    QColor onColor_{0, 255, 0};
    QColor offColor_{255, 0, 0};
    bool pressed_ = false; // a left press inside, waiting for its release
};

} // namespace vantor
