#include "app/StatusBar.h"

#include "core/MessageTable.h"
#include "link/ConnectionProbe.h"

#include <QPainter>
#include <QStyleOption>

namespace vantor {

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName("StatusBar1");
    // Resource text of panel 1 until the first probe.
    texts_[1] = QString::fromStdString(Message(13, SimplifiedChinese));
    texts_[3] = "00:00:00";
}

void StatusBar::setPanelText(int panel, const QString& text) {
    if (panel < 0 || panel >= kPanelCount || texts_[size_t(panel)] == text)
        return;
    texts_[size_t(panel)] = text;
    update(panelRect(panel));
}

QString StatusBar::panelText(int panel) const {
    return (panel >= 0 && panel < kPanelCount) ? texts_[size_t(panel)] : QString();
}

QRect StatusBar::panelRect(int panel) const {
    int left = 0;
    for (int i = 0; i < panel; ++i)
        left += kPanelWidths[size_t(i)];
    return QRect(left, 0, kPanelWidths[size_t(panel)], height());
}

QSize StatusBar::sizeHint() const {
    return QSize(400, fontMetrics().height() + 8);
}

void StatusBar::resizeEvent(QResizeEvent*) {
    emit resized();
}

QColor StatusBar::panel1Colour() const {
    if (StatusPanelDrawnRed(texts_[1].toStdString()))
        return QColor(255, 0, 0);
    return palette().color(QPalette::ButtonText);
}

void StatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    for (int i = 0; i < kPanelCount; ++i) {
        QRect r = panelRect(i);
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(i == 1 ? panel1Colour() : palette().color(QPalette::ButtonText));
        // Panel 1 is centred on one line; the others read from the left.
        int flags =
            Qt::TextSingleLine | Qt::AlignVCenter | (i == 1 ? Qt::AlignHCenter : Qt::AlignLeft);
        p.drawText(r.adjusted(3, 0, -3, 0), flags, texts_[size_t(i)]);
    }
}

} // namespace vantor
