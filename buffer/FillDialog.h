#pragma once
// The fill dialog: fills a range of the chip image with a constant byte, a
// constant word or random bytes, then shows the result in the hex pane. It
// knows nothing of the main window: it is handed the buffer and a callback
// that loads bytes into the hex pane.
#include "buffer/BufferFill.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantor {

// Translated captions of the dialog, one row per language.
struct FillDialogCaptions {
    const char* FillDialog;
    const char* GroupBox1;
    const char* RadioButton1;
    const char* RadioButton2;
    const char* RadioButton3;
    const char* GroupBox2;
    const char* Label1;
    const char* Label2;
    const char* BitBtn1;
    const char* BitBtn2;
};
extern const FillDialogCaptions kFillDialogCaptions[3];

class FillDialog : public QDialog {
    Q_OBJECT
public:
    explicit FillDialog(DataBuffer& buffer, QWidget* parent = nullptr);

    // Called with bytes 0 to end of the buffer after every fill.
    void setHexViewLoader(HexViewLoader loader) { loadHexView_ = std::move(loader); }
    // Where the random fill's seed comes from (default: the clock in seconds).
    void setSeedSource(std::function<uint32_t()> source) { seedSource_ = std::move(source); }

    // The fields as typed and the chosen kind.
    FillFields fields() const;

    // Captions in language 0, 1 or 2; any other index changes nothing.
    Q_INVOKABLE void ApplyCaptions(int languageIndex);
    // What every opening does first: the end address becomes the chip's last
    // address, upper-case hex without prefix.
    Q_INVOKABLE void PrepareToShow(uint32_t flashSize);
    // PrepareToShow, then the modal dialog.
    int ShowFill(uint32_t flashSize);

    QGroupBox* GroupBox1;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QGroupBox* GroupBox2;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QFrame* Panel1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

public slots:
    void BitBtn1Click(); // OK: fill, and close unless a field was refused
    void BitBtn2Click(); // Cancel: close, nothing changes

private:
    DataBuffer& buffer_;
    HexViewLoader loadHexView_;
    std::function<uint32_t()> seedSource_ = FillSeedNow;
};

} // namespace vantor
