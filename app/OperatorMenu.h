#pragma once
// The main window's bench tools beyond the chip commands: Stop (Esc),
// Unprotect and Read twice in the Operation menu; Find (Ctrl+F), Find next
// and previous (F3, Shift+F3) and Go to (Ctrl+G) in the Buffer menu; and the
// CRC-32 and byte sum of the hex pane's content in the status bar.
#include "buffer/Checksum.h"
#include "controls/HexFind.h"

#include <QObject>
#include <QWidget>
#include <optional>

class QAction;
class QTimer;

namespace vantor {

class MainWindow;

// The checksums in the status bar, worded in the language of the moment it
// paints (the status bar repaints on a language change).
class ChecksumPanel : public QWidget {
public:
    using QWidget::QWidget;
    void setSums(std::optional<Checksums> sums);
    QString text() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::optional<Checksums> Sums;
};

class OperatorMenu : public QObject {
    Q_OBJECT
public:
    explicit OperatorMenu(MainWindow& form);

    QAction *StopItem, *UnprotectItem, *ReadTwiceItem;
    QAction *FindItem, *FindNextItem, *FindPreviousItem, *GoToItem;
    ChecksumPanel* ChecksumLabel;

    // Texts in the current language.
    void retranslate();
    // Shows the checksums of what the hex pane holds now.
    void updateChecksums();

    // The searches behind the dialogs; false (and a box) when there is no
    // hit or the offset lies outside.
    bool find(const hex::SearchRequest& request);
    bool repeatFind(bool forward);
    bool goTo(std::size_t offset);

private:
    void stop();
    void askFind();
    void askGoTo();
    void placeChecksumLabel();

    MainWindow& Form;
    QTimer* ChecksumDelay;
    hex::SearchRequest LastSearch;
};

} // namespace vantor
