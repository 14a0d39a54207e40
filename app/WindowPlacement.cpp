// Where and how large the main window shows first: a saved place restored
// and kept on the screen, or on a first start a size that shows the hex pane
// whole; and the height of the log pane, kept in the settings.
#include "app/MainWindow.h"
#include "app/RecentFiles.h"
#include "controls/HexEditorControl.h"
#include "core/IniFile.h"
#include "core/SettingsFile.h"

#include <QApplication>
#include <QLayout>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>

namespace vantor {

namespace {

constexpr const char* kEnvironment = "Environment";
constexpr const char* kLogHeight = "LogHeight";
// The hex rows and log lines a first start shows where the screen allows.
constexpr int kFirstStartRows = 20;
constexpr int kFirstStartLogLines = 6;
// A window manager adds its frame only once the window is mapped; until
// then this much is allowed for the title bar.
constexpr int kTitleBarGuess = 32;
constexpr int kBorderGuess = 4;

} // namespace

QRect KeepOnScreen(const QRect& frame, const QRect& available) {
    QRect kept(frame.topLeft(), frame.size().boundedTo(available.size()));
    kept.moveLeft(std::clamp(kept.left(), available.left(), available.right() - kept.width() + 1));
    kept.moveTop(std::clamp(kept.top(), available.top(), available.bottom() - kept.height() + 1));
    return kept;
}

QSize MainWindow::firstStartSize() const {
    // The pane's missing room, added to the window as it is laid out now.
    const QSize pane = FlashEditor->sizeForRows(kFirstStartRows);
    const int logHeight = RichEdit1->fontMetrics().lineSpacing() * kFirstStartLogLines +
                          2 * RichEdit1->frameWidth() + 8;
    const int splitterNow = PaneSplitter->height();
    const int wantSplitter = pane.height() + PaneSplitter->handleWidth() + logHeight;
    return QSize(width() + std::max(0, pane.width() - FlashEditor->width()),
                 height() + std::max(0, wantSplitter - splitterNow));
}

void MainWindow::placeOnFirstShow() {
    QScreen* shown = screen();
    // The screen the saved place lies on, if it still exists.
    if (placeSaved_)
        if (QScreen* s = QGuiApplication::screenAt(pos() + QPoint(40, 10)))
            shown = s;
    if (!shown)
        return;
    const QRect available = shown->availableGeometry();
    // The frame the window manager will add (known once shown before).
    QMargins frame(geometry().left() - frameGeometry().left(),
                   geometry().top() - frameGeometry().top(),
                   frameGeometry().right() - geometry().right(),
                   frameGeometry().bottom() - geometry().bottom());
    if (frame.isNull() && !testAttribute(Qt::WA_DontShowOnScreen) &&
        QGuiApplication::platformName() == "xcb")
        frame = QMargins(kBorderGuess, kTitleBarGuess, kBorderGuess, kBorderGuess);

    if (QLayout* l = layout())
        l->activate();
    if (!sizeSaved_)
        resize(firstStartSize());
    const QSize outer = size().grownBy(frame);
    QRect placed =
        placeSaved_ ? KeepOnScreen(QRect(pos(), outer), available)
                    : PlaceOnScreen(QRect(QPoint(), outer.boundedTo(available.size())), available);
    placed = KeepOnScreen(placed, available);
    resize(placed.size().shrunkBy(frame));
    move(placed.topLeft());
    if (QLayout* l = layout())
        l->activate();
    if (logHeight_ > 0) {
        const int total = PaneSplitter->height();
        PaneSplitter->setSizes({std::max(1, total - logHeight_), logHeight_});
    } else if (!sizeSaved_) {
        const int log = RichEdit1->fontMetrics().lineSpacing() * kFirstStartLogLines +
                        2 * RichEdit1->frameWidth() + 8;
        PaneSplitter->setSizes({std::max(1, PaneSplitter->height() - log), log});
    }
    // Laid out for real only now it shows: what the pane still lacks is
    // added, as far as the screen allows.
    if (!sizeSaved_)
        QTimer::singleShot(0, this, [this] {
            if (isMaximized() || !screen())
                return;
            const QSize want = firstStartSize();
            if (want == size())
                return;
            const QRect screenArea = screen()->availableGeometry();
            const QSize frameExtra = frameGeometry().size() - size();
            const QSize framed = (want + frameExtra).boundedTo(screenArea.size());
            resize(framed - frameExtra);
            move(PlaceOnScreen(QRect(QPoint(), framed), screenArea).topLeft());
        });
    // Once the window manager has framed it, the guess is checked.
    QTimer::singleShot(kFrameCheckMs, this, [this] {
        if (isMaximized() || !screen())
            return;
        const QRect kept = KeepOnScreen(frameGeometry(), screen()->availableGeometry());
        if (kept != frameGeometry()) {
            resize(size() - (frameGeometry().size() - kept.size()));
            move(kept.topLeft());
        }
    });
}

void MainWindow::loadWindowExtras() {
    IniFile ini;
    if (!ini.load(places_.settings))
        return;
    placeSaved_ = ini.value(kEnvironment, "FormTop").has_value() &&
                  ini.value(kEnvironment, "FormLeft").has_value();
    sizeSaved_ = ini.value(kEnvironment, "FormWidth").has_value() &&
                 ini.value(kEnvironment, "FormHeight").has_value();
    logHeight_ = std::max(0, ReadSettingsInteger(ini, kEnvironment, kLogHeight, 0));
    recent_->load(ini);
}

void MainWindow::saveWindowExtras() {
    IniFile ini;
    if (!ini.load(places_.settings))
        return; // the settings' own save has said why
    const QList<int> sizes = PaneSplitter->sizes();
    if (sizes.size() == 2)
        ini.setValue(kEnvironment, kLogHeight, std::to_string(sizes[1]));
    recent_->store(ini);
    ini.save(places_.settings);
}

} // namespace vantor
