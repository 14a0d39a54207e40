#pragma once
// The main window. It owns the whole working state for the life of the
// process: the USB link, the chip database and selection, the data buffer,
// the log pane and the current language.
#include "buffer/DataBuffer.h"
#include "chipdb/ChipRecord.h"
#include "chipdb/ChipSelection.h"
#include "core/FilePlaces.h"
#include "core/LogNumbering.h"
#include "link/UsbTransport.h"

#include <QByteArray>
#include <QMainWindow>
#include <QRect>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSplitter;
class QPushButton;
class QTextEdit;
class QToolBar;
class QToolButton;

namespace vantor {

class StatusBar;
class HexEditorControl;
class SettingsFile;
class ChipFindDialog;
class FillDialog;
class ChipBoxBinder;
class MainWindowHost;
class ProductionLine;
class RecentFiles;

// Where a window whose frame is `frame` shows first: centred on the
// available screen area, its top left corner never outside it.
QRect PlaceOnScreen(const QRect& frame, const QRect& available);
// `frame` moved (and shrunk where it must) so all of it lies on `available`.
QRect KeepOnScreen(const QRect& frame, const QRect& available);

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Designed size; the settings normally override it before the first show.
    static constexpr int kDesignWidth = 881;
    static constexpr int kDesignHeight = 518;

    // `executablePath` names the chip database (".Dat") and the settings
    // (".ini") beside it; tools and tests pass a path of their own.
    explicit MainWindow(const std::string& executablePath = {}, QWidget* parent = nullptr);
    const std::string& ExecutablePath() const { return executablePath_; }
    // Where this window's settings and chip database live.
    const FilePlaces& Places() const { return places_; }
    ~MainWindow() override;

    // Dialogs created after the main window and living until exit.
    void setDialogs(QDialog* form2, ChipFindDialog* form3, FillDialog* form4, QDialog* aboutBox);

    // ---- shared operations -------------------------------------------------
    // The box, and the same text as a numbered line in the log, so the log
    // tells the whole story of a session.
    void ShowError(const QString& text);
    // A refusal is being shown across the progress bar.
    bool RefusalShown() const { return refusalShown_; }
    std::string NextLogPrefix() { return log_.NextLogPrefix(); }
    // Prefix and text, inserted as the top line of the log pane.
    void LogLine(const QString& text);
    QStringList logLines() const;

    int LanguageIndex() const;
    void ApplyLanguage();

    // ---- state -------------------------------------------------------------
    double StartTime = 0;
    double StopTime = 0;
    DataBuffer Buffer; // DataBuffer and UsedLength
    UsbTransport UsbLink;

    // The chip database and the selection over it (the remembered box
    // positions SelTypeIndex, SelMakerIndex, SelNameIndex live in Selection).
    ChipDatabase Chips;
    ChipSelection Selection{&Chips};
    int32_t CurrentChipIndex() const { return Selection.CurrentChipIndex(); }
    const ChipRecord& CurrentChip() const;
    // Every chip choice ends here: boxes, find dialog, detection, start-up.
    void SelectChip(int typeIndex, int makerIndex, int nameIndex);
    // Shows the first FlashSize bytes of the buffer in the hex pane.
    void RefreshHexView();
    // Takes pending hex-pane edits into the buffer (at most FlashSize bytes).
    void SyncBufferFromEditor();
    int logCounter() const { return log_.counter(); }
    // The folder the file dialogs last used, kept in the settings file.
    std::string LastFolder;

    // ---- controls (named as the designers named them) ---------------------
    QMenu *O1, *Buff, *O3, *L1, *H1;
    QAction *O2, *S1, *Q1, *Fill, *A1, *E1, *W1, *R1, *V1, *N7, *N3, *China, *fanti, *Enlish, *N5;
    // Added for the bench: detect and find a chip, compare, recent files.
    QAction *DetectItem, *FindChipItem, *CompareItem, *NextDifferenceItem, *PreviousDifferenceItem;
    QMenu* RecentMenu;
    QSplitter* PaneSplitter;
    QLabel *InsertModeLabel, *DifferenceLabel;
    QToolBar* ToolBar1;
    QAction *ToolOpen, *ToolSave, *ToolRead, *ToolErase, *ToolWrite, *ToolVerify, *ToolAuto,
        *ToolBank, *ToolFill, *ToolDevice, *ToolAbout;
    QWidget *Panel1, *Panel2, *Panel3, *Panel8;
    QGroupBox *GroupBox1, *GroupBox2;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
    QComboBox *ComboBox1, *ComboBox2, *ComboBox3, *ComboBox4, *ComboBox5;
    QLineEdit *Edit1, *Edit2;
    QPushButton *BitBtn1, *BitBtn2, *BitBtn3;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3;
    HexEditorControl* FlashEditor;
    QTextEdit* RichEdit1;
    StatusBar* StatusBar1;
    QProgressBar* Progress;

    // ---- files (app/FileCommands.cpp) ----------------------------------------
    // Opens `path` as Open does; with `askFirst`, asks before it replaces
    // edits in the pane. False when the user declined or nothing loaded.
    bool OpenPath(const QString& path, bool askFirst);
    // A recent file: asks before replacing edits; one that went away is
    // taken off the list, the buffer untouched.
    void OpenRecent(const QString& path);
    RecentFiles& Recent() { return *recent_; }
    void RebuildRecentMenu();

    // ---- compare (app/CompareCommands.cpp) ------------------------------------
    // Runs `command` (a verify, an Auto) and marks in the pane the bytes in
    // which the chip differed.
    void MarkVerifyDifferences(const std::function<void()>& command);
    // Compares the pane with a file loaded by the Open rules; no chip needed.
    // True when both were there to compare.
    bool CompareWithFile(const QString& path);
    // Moves to the next or previous marked difference.
    bool GoToDifference(bool forward);

    // ---- life cycle hooks --------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormResize();
    // Writes the settings; true when the window may close.
    bool FormClose();
    std::unique_ptr<SettingsFile> Settings; // from FormCreate to FormClose

    // ---- chip commands and connection monitor (app/Commands.cpp) -----------
    // The engine, the six commands, the probe and the device-change monitor,
    // with this window as their host (app/MainWindowHost.h); made on first use.
    MainWindowHost& ChipHost();
    // True while a chip command runs; the window refuses to close meanwhile.
    bool ChipCommandBusy() const;
    // Activation and device changes: "Ready" / "Not connected" in panel 1 and
    // a detection line; waits for the end of a running chip command.
    void ProbeProgrammer();
    // False (and said why) when no valid chip record is selected.
    bool ChipChosen();
    // Read or Read twice; a read that does not finish leaves the image as it
    // was.
    void RunRead(bool twice);
    // Declared after UsbLink and Buffer, so it goes before them.
    std::shared_ptr<MainWindowHost> chipHost_;
    // The production log, serial numbers and counter (app/ProductionLine.h);
    // every chip command runs through it.
    ProductionLine* Production = nullptr;
    // ---- end of chip commands and connection monitor -----------------------

public slots:
    void Q1Click();
    void ToolAboutClick();
    void ChinaClick();
    void fantiClick();
    void EnlishClick();
    void ToolOpenClick();
    void ToolSaveClick();
    void ToolFillClick();
    void ToolReadClick();
    void ToolEraseClick();
    void ToolWriteClick();
    void ToolVerifyClick();
    void ToolAutoClick();
    void ToolBankClick();
    void ToolDeviceClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void CompareWithFileClick();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenu();
    void buildToolBar();
    QWidget* buildLeftColumn();
    QWidget* buildRightSide();
    void buildStatusBar();
    void setLanguageChecks();
    void buildBenchItems();
    void retranslateBenchItems(int lang);
    void showInsertMode();
    // Where the window shows first: the saved place kept on the screen, or
    // a size that shows the hex pane whole, centred.
    void placeOnFirstShow();
    QSize firstStartSize() const;
    void loadWindowExtras();
    void saveWindowExtras();
    void SayRefused(const std::string& text);
    static constexpr int kRefusalShownMs = 4000;

    std::string executablePath_;
    FilePlaces places_;
    LogNumbering log_;
    bool shownOnce_ = false;
    bool activatedOnce_ = false;
    // The settings gave a place and a size; without them the window takes
    // its first-start size.
    bool refusalShown_ = false;
    bool placeSaved_ = false;
    bool sizeSaved_ = false;
    // The window lost the focus to a box or dialog of its own: coming back
    // is no news of the programmer.
    bool leftForOwnWindow_ = false;
    std::unique_ptr<RecentFiles> recent_;
    int logHeight_ = 0; // the log pane's saved height, 0 for none
    static constexpr int kFrameCheckMs = 300;
    static constexpr int kFirstProbeGraceMs = 300;
    QDialog* form2_ = nullptr;
    ChipFindDialog* form3_ = nullptr;
    ChipBoxBinder* chipBoxes_ = nullptr;
    FillDialog* form4_ = nullptr;
    QDialog* aboutBox_ = nullptr;
};

} // namespace vantor
