#include "app/MainWindow.h"

#include "app/OperatorMenu.h"
#include "app/ProductionLine.h"
#include "app/RecentFiles.h"
#include "app/StatusBar.h"
#include "buffer/FillDialog.h"
#include "chipdb/DatabaseFile.h"
#include "chipdb/ui/ChipBoxBinder.h"
#include "chipdb/ui/ChipFindDialog.h"
#include "controls/HexBinding.h"
#include "controls/HexEditorControl.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "core/SettingsFile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

namespace vantor {

namespace {

QAction* makeAction(QObject* parent, const char* name, const QString& text) {
    auto* action = new QAction(text, parent);
    action->setObjectName(name);
    return action;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QComboBox* makeCombo(QWidget* parent, const char* name, bool editable) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(editable);
    if (editable)
        box->setEditText(name); // design text until chip selection fills it
    return box;
}

const char* const kSizeSteps[] = {"64B", "128B", "256B", "512B", "1KB",   "2KB",   "4KB",
                                  "8KB", "16KB", "32KB", "64KB", "128KB", "256KB", "512KB",
                                  "1MB", "2MB",  "4MB",  "8MB",  "16MB",  "32MB",  "64MB"};
const char* const kSpeeds[] = {"12MHz", "6MHz", "3MHz", "1.5MHz", "750KHz", "375KHz"};

} // namespace

QRect PlaceOnScreen(const QRect& frame, const QRect& available) {
    QRect placed = frame;
    placed.moveCenter(available.center());
    // A window that cannot shrink enough keeps its title bar and menus in view.
    if (placed.top() < available.top())
        placed.moveTop(available.top());
    if (placed.left() < available.left())
        placed.moveLeft(available.left());
    return placed;
}

MainWindow::MainWindow(const std::string& executablePath, QWidget* parent)
    : QMainWindow(parent),
      executablePath_(executablePath.empty() ? CurrentExecutablePath() : executablePath),
      places_(ResolveFilePlaces(executablePath_)) {
    setObjectName("MainWindow");
    resize(kDesignWidth, kDesignHeight);
    buildMenu();
    buildToolBar();
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2); // every pixel to the hex pane on an 800-pixel screen
    // The left column scrolls rather than forcing a minimum window height.
    auto* leftScroll = new QScrollArea(Panel1);
    leftScroll->setFrameShape(QFrame::NoFrame);
    leftScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    leftScroll->setWidgetResizable(true);
    leftScroll->setWidget(buildLeftColumn());
    leftScroll->setFixedWidth(Panel2->width() + 4);
    row->addWidget(leftScroll);
    row->addWidget(buildRightSide(), 1);
    setCentralWidget(Panel1);
    buildStatusBar();
    chipBoxes_ = new ChipBoxBinder(
        Selection, ChipBoxWidgets{ComboBox1, ComboBox2, ComboBox3, ComboBox5, Edit1, Edit2}, this);
    Selection.setRefreshHexView([this] { RefreshHexView(); });

    // Construction order of the working state: times, stream, buffer (all
    // 0xFF, done by DataBuffer), link, progress bar, log counter.
    StartTime = StopTime = 0;
    FormResize();
    Progress->hide();
    new OperatorMenu(*this);                // Stop, Unprotect, find, checksums
    Production = new ProductionLine(*this); // Log menu, serial numbers, counter
    recent_ = std::make_unique<RecentFiles>();
    setAcceptDrops(true);
    FormCreate();
    RebuildRecentMenu();
    showInsertMode();
}

MainWindow::~MainWindow() = default;

void MainWindow::setDialogs(QDialog* form2, ChipFindDialog* form3, FillDialog* form4,
                            QDialog* aboutBox) {
    form2_ = form2;
    form3_ = form3;
    form4_ = form4;
    aboutBox_ = aboutBox;
    if (form4_)
        // The pane keeps showing the whole chip after a fill inside it.
        form4_->setHexViewLoader([this](const uint8_t* data, size_t count) {
            const size_t chip = std::min<size_t>(CurrentChip().FlashSize, DataBuffer::size());
            FlashEditor->LoadFromStream(std::span<const uint8_t>(data, std::max(count, chip)));
        });
    if (form3_) {
        form3_->setDatabase(&Chips);
        form3_->setChipBoxes(&Selection);
        form3_->setSelectChip([this](int t, int m, int n) { SelectChip(t, m, n); });
    }
}

void MainWindow::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    O1 = bar->addMenu("文件(&F)");
    O1->setObjectName("O1");
    O2 = makeAction(this, "O2", "打开(&O)");
    S1 = makeAction(this, "S1", "保存(&S)");
    Q1 = makeAction(this, "Q1", "退出(&Q)");
    O1->addAction(O2);
    O1->addAction(S1);
    O1->addSeparator()->setObjectName("N1");
    O1->addAction(Q1);

    Buff = bar->addMenu("缓冲区(&B)");
    Buff->setObjectName("Buff");
    Fill = makeAction(this, "Fill", "填充(&F)");
    Buff->addAction(Fill);

    O3 = bar->addMenu("操作(&O)");
    O3->setObjectName("O3");
    A1 = makeAction(this, "A1", "自动(&A)");
    E1 = makeAction(this, "E1", "擦除(&E)");
    W1 = makeAction(this, "W1", "写入(&W)");
    R1 = makeAction(this, "R1", "读出(&R)");
    V1 = makeAction(this, "V1", "校验(&V)");
    N7 = makeAction(this, "N7", "查空(&B)");
    O3->addAction(A1);
    O3->addSeparator()->setObjectName("N2");
    for (QAction* a : {E1, W1, R1, V1, N7})
        O3->addAction(a);

    // The Device command is a top-level item that is itself the command.
    N3 = makeAction(this, "N3", "设备(&Y)");
    bar->addAction(N3);
    N3->setVisible(false);

    L1 = bar->addMenu("语言(&L)");
    L1->setObjectName("L1");
    China = makeAction(this, "China", "中文");
    fanti = makeAction(this, "fanti", "繁體");
    Enlish = makeAction(this, "Enlish", "Enlish");
    for (QAction* a : {China, fanti, Enlish}) {
        a->setCheckable(true);
        L1->addAction(a);
    }
    China->setChecked(true);

    H1 = bar->addMenu("帮助(&H)");
    H1->setObjectName("H1");
    N5 = makeAction(this, "N5", "关于(&A)");
    H1->addAction(N5);

    O2->setShortcut(QKeySequence::Open);
    S1->setShortcut(QKeySequence::Save);
    R1->setShortcut(Qt::Key_F5);
    E1->setShortcut(Qt::Key_F6);
    W1->setShortcut(Qt::Key_F7);
    V1->setShortcut(Qt::Key_F8);
    A1->setShortcut(Qt::Key_F9);

    connect(O2, &QAction::triggered, this, &MainWindow::ToolOpenClick);
    connect(S1, &QAction::triggered, this, &MainWindow::ToolSaveClick);
    connect(Q1, &QAction::triggered, this, &MainWindow::Q1Click);
    connect(Fill, &QAction::triggered, this, &MainWindow::ToolFillClick);
    connect(A1, &QAction::triggered, this, &MainWindow::ToolAutoClick);
    connect(E1, &QAction::triggered, this, &MainWindow::ToolEraseClick);
    connect(W1, &QAction::triggered, this, &MainWindow::ToolWriteClick);
    connect(R1, &QAction::triggered, this, &MainWindow::ToolReadClick);
    connect(V1, &QAction::triggered, this, &MainWindow::ToolVerifyClick);
    connect(N7, &QAction::triggered, this, &MainWindow::ToolBankClick);
    connect(N3, &QAction::triggered, this, &MainWindow::ToolDeviceClick);
    connect(China, &QAction::triggered, this, &MainWindow::ChinaClick);
    connect(fanti, &QAction::triggered, this, &MainWindow::fantiClick);
    connect(Enlish, &QAction::triggered, this, &MainWindow::EnlishClick);
    connect(N5, &QAction::triggered, this, &MainWindow::ToolAboutClick);
    buildBenchItems();
}

void MainWindow::buildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->toggleViewAction()->setEnabled(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    struct Button {
        QAction** slot;
        const char* name;
        const char* text;
        const char* icon;
        void (MainWindow::*handler)();
    };
    const Button buttons[] = {
        {&ToolOpen, "ToolOpen", "打开", "open", &MainWindow::ToolOpenClick},
        {&ToolSave, "ToolSave", "保存", "save", &MainWindow::ToolSaveClick},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
        {&ToolRead, "ToolRead", "读出", "read", &MainWindow::ToolReadClick},
        {&ToolErase, "ToolErase", "擦除", "erase", &MainWindow::ToolEraseClick},
        {&ToolWrite, "ToolWrite", "写入", "write", &MainWindow::ToolWriteClick},
        {&ToolVerify, "ToolVerify", "校验", "verify", &MainWindow::ToolVerifyClick},
        {&ToolAuto, "ToolAuto", "自动", "auto", &MainWindow::ToolAutoClick},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
        {&ToolBank, "ToolBank", "查空", "blank", &MainWindow::ToolBankClick},
        {&ToolFill, "ToolFill", "填充", "fill", &MainWindow::ToolFillClick},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
        {&ToolDevice, "ToolDevice", "设备", "device", &MainWindow::ToolDeviceClick},
        {&ToolAbout, "ToolAbout", "关于", "about", &MainWindow::ToolAboutClick},
    };
    for (const Button& b : buttons) {
        if (!b.slot) {
            ToolBar1->addSeparator();
            continue;
        }
        QAction* action = makeAction(this, b.name, b.text);
        action->setIcon(QIcon(QString(":/icons/%1.svg").arg(b.icon)));
        ToolBar1->addAction(action);
        connect(action, &QAction::triggered, this, b.handler);
        *b.slot = action;
    }
    ToolDevice->setVisible(false);
}

QWidget* MainWindow::buildLeftColumn() {
    Panel2 = new QWidget(Panel1);
    Panel2->setObjectName("Panel2");
    Panel2->setFixedWidth(190);
    auto* column = new QVBoxLayout(Panel2);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    GroupBox1 = new QGroupBox("芯片", Panel2);
    GroupBox1->setObjectName("GroupBox1");
    auto* chip = new QVBoxLayout(GroupBox1);
    chip->setSpacing(2);
    chip->setContentsMargins(6, 4, 6, 4);
    Label1 = makeLabel(GroupBox1, "Label1", "类型");
    ComboBox1 = makeCombo(GroupBox1, "ComboBox1", true);
    Label2 = makeLabel(GroupBox1, "Label2", "厂商");
    ComboBox2 = makeCombo(GroupBox1, "ComboBox2", true);
    Label3 = makeLabel(GroupBox1, "Label3", "名称");
    ComboBox3 = makeCombo(GroupBox1, "ComboBox3", true);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label1, ComboBox1, Label2, ComboBox2, Label3, ComboBox3})
        chip->addWidget(w);
    auto* buttons = new QHBoxLayout;
    BitBtn1 = new QPushButton("检测", GroupBox1);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn2 = new QPushButton("查找", GroupBox1);
    BitBtn2->setObjectName("BitBtn2");
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    chip->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, &MainWindow::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &MainWindow::BitBtn2Click);
    column->addWidget(GroupBox1);

    Panel8 = new QWidget(Panel2);
    Panel8->setObjectName("Panel8");
    auto* grid = new QGridLayout(Panel8);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    Label4 = makeLabel(Panel8, "Label4", "容量");
    Edit1 = new QLineEdit("Edit1", Panel8);
    Edit1->setObjectName("Edit1");
    ComboBox5 = makeCombo(Panel8, "ComboBox5", true);
    for (const char* step : kSizeSteps)
        ComboBox5->addItem(step);
    ComboBox5->setCurrentIndex(-1);
    ComboBox5->setEditText("ComboBox5");
    // The step box is drawn over the capacity field, as designed.
    Edit1->hide();
    Label5 = makeLabel(Panel8, "Label5", "页面大小");
    Edit2 = new QLineEdit("Edit2", Panel8);
    Edit2->setObjectName("Edit2");
    Label6 = makeLabel(Panel8, "Label6", "编程速度");
    ComboBox4 = makeCombo(Panel8, "ComboBox4", false);
    for (const char* speed : kSpeeds)
        ComboBox4->addItem(speed);
    ComboBox4->setCurrentIndex(0);
    grid->addWidget(Label4, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(ComboBox5, 0, 1);
    grid->addWidget(Label5, 1, 0);
    grid->addWidget(Edit2, 1, 1);
    grid->addWidget(Label6, 2, 0);
    grid->addWidget(ComboBox4, 2, 1);
    // Alt and the label's letter reach the box beside it.
    Label1->setBuddy(ComboBox1);
    Label2->setBuddy(ComboBox2);
    Label3->setBuddy(ComboBox3);
    Label4->setBuddy(ComboBox5);
    Label5->setBuddy(Edit2);
    Label6->setBuddy(ComboBox4);
    column->addWidget(Panel8);

    GroupBox2 = new QGroupBox("自动编程选项", Panel2);
    GroupBox2->setObjectName("GroupBox2");
    auto* autoBox = new QGridLayout(GroupBox2);
    autoBox->setVerticalSpacing(2);
    autoBox->setContentsMargins(6, 4, 6, 4);
    CheckBox1 = new QCheckBox("擦除", GroupBox2);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox2 = new QCheckBox("编程", GroupBox2);
    CheckBox2->setObjectName("CheckBox2");
    CheckBox3 = new QCheckBox("校验", GroupBox2);
    CheckBox3->setObjectName("CheckBox3");
    for (QCheckBox* c : {CheckBox1, CheckBox2, CheckBox3})
        c->setChecked(true);
    BitBtn3 = new QPushButton("自动", GroupBox2);
    BitBtn3->setObjectName("BitBtn3");
    BitBtn3->setIcon(QIcon(":/icons/auto.svg"));
    autoBox->addWidget(CheckBox1, 0, 0);
    autoBox->addWidget(CheckBox2, 1, 0);
    autoBox->addWidget(CheckBox3, 2, 0);
    autoBox->addWidget(BitBtn3, 0, 1, 3, 1);
    connect(BitBtn3, &QPushButton::clicked, this, &MainWindow::ToolAutoClick);
    column->addWidget(GroupBox2);
    column->addStretch(1);
    return Panel2;
}

QWidget* MainWindow::buildRightSide() {
    Panel3 = new QWidget(Panel1);
    Panel3->setObjectName("Panel3");
    auto* layout = new QVBoxLayout(Panel3);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Vertical, Panel3);
    split->setObjectName("PaneSplitter");
    PaneSplitter = split;
    FlashEditor = new HexEditorControl(split);
    FlashEditor->setObjectName("FlashEditor");
    RichEdit1 = new QTextEdit(split);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    QFont logFont("MS Sans Serif");
    logFont.setPixelSize(13);
    RichEdit1->setFont(logFont);
    split->addWidget(FlashEditor);
    split->addWidget(RichEdit1);
    split->setStretchFactor(0, 1);
    split->setSizes({400, 90});
    layout->addWidget(split);
    return Panel3;
}

void MainWindow::buildStatusBar() {
    StatusBar1 = new StatusBar(this);
    setStatusBar(nullptr);
    // A plain widget at the bottom: QStatusBar's own layout would fight the
    // fixed panel widths and the progress bar's fixed place.
    auto* bottom = new QWidget(this);
    auto* layout = new QVBoxLayout(bottom);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StatusBar1);
    StatusBar1->setFixedHeight(StatusBar1->sizeHint().height());
    Panel1->layout()->setContentsMargins(2, 2, 2, 0);
    auto* outer = new QWidget(this);
    auto* stack = new QVBoxLayout(outer);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    Panel1->setParent(outer);
    stack->addWidget(Panel1, 1);
    stack->addWidget(bottom);
    setCentralWidget(outer);

    Progress = new QProgressBar(StatusBar1);
    Progress->setObjectName("Progress");
    Progress->setTextVisible(false);
    connect(StatusBar1, &StatusBar::resized, this, &MainWindow::FormResize);

    // At the right end: how many bytes are marked as different, and whether
    // typing inserts or overwrites.
    DifferenceLabel = new QLabel(StatusBar1);
    DifferenceLabel->setObjectName("DifferenceLabel");
    InsertModeLabel = new QLabel(StatusBar1);
    InsertModeLabel->setObjectName("InsertModeLabel");
    InsertModeLabel->setAlignment(Qt::AlignCenter);
    InsertModeLabel->setFrameShape(QFrame::StyledPanel);
    connect(FlashEditor, &HexEditorControl::insertModeChanged, this, &MainWindow::showInsertMode);
    connect(FlashEditor, &HexEditorControl::differencesChanged, this, [this] {
        const std::size_t count = FlashEditor->differences().count();
        DifferenceLabel->setText(count == 0 ? QString()
                                            : QString::fromStdString(FormatMessage(
                                                  Own::DifferencesShown, {std::to_string(count)})));
    });
}

// ---- shared operations ----------------------------------------------------

void MainWindow::ShowError(const QString& text) {
    // One line per box, however many lines the box has.
    LogLine(QString(text).replace('\n', ' '));
    CurrentPrompts().showError(text.toStdString());
}

void MainWindow::LogLine(const QString& text) {
    QString line = QString::fromStdString(NextLogPrefix()) + text;
    QTextCursor cursor(RichEdit1->document());
    cursor.movePosition(QTextCursor::Start);
    if (RichEdit1->document()->isEmpty())
        cursor.insertText(line);
    else
        cursor.insertText(line + "\n");
}

QStringList MainWindow::logLines() const {
    if (RichEdit1->document()->isEmpty())
        return {};
    return RichEdit1->toPlainText().split('\n');
}

int MainWindow::LanguageIndex() const {
    return CurrentLanguage();
}

// ---- life cycle -----------------------------------------------------------

void MainWindow::FormShow() {
    LoadChipDatabase(
        Chips, places_.database, [this](int t, int m, int n) { SelectChip(t, m, n); },
        Selection.SelTypeIndex, Selection.SelMakerIndex, Selection.SelNameIndex);
    // Indices a settings file got wrong select nothing: the first record
    // then, rather than boxes that show their design names.
    if (Selection.CurrentChip() == nullptr)
        SelectChip(0, 0, 0);
    ApplyLanguage();
}

const ChipRecord& MainWindow::CurrentChip() const {
    static const ChipRecord none;
    const ChipRecord* chip = Selection.CurrentChip();
    return chip ? *chip : none;
}

void MainWindow::SelectChip(int typeIndex, int makerIndex, int nameIndex) {
    chipBoxes_->SelectChip(typeIndex, makerIndex, nameIndex);
}

// The buffer itself is the stream the pane loads from: one copy, no second
// 64 MiB block held in between.
void MainWindow::RefreshHexView() {
    vantor::RefreshHexView(Buffer, *FlashEditor, CurrentChip().FlashSize);
}

void MainWindow::SyncBufferFromEditor() {
    vantor::SyncBufferFromEditor(Buffer, *FlashEditor, CurrentChip().FlashSize);
}

void MainWindow::FormActivate() {
    ProbeProgrammer();
}

void MainWindow::FormResize() {
    const int border = StatusBar1->borderWidth();
    Progress->setGeometry(StatusBar::kProgressLeft, border + 2,
                          StatusBar1->width() - StatusBar::kProgressWidthReduction,
                          StatusBar1->height() - border - 2);
    const int height = StatusBar1->height();
    const int modeWidth = InsertModeLabel->fontMetrics().horizontalAdvance("OVRW") + 8;
    InsertModeLabel->setGeometry(StatusBar1->width() - modeWidth, 0, modeWidth, height);
    const int countWidth = DifferenceLabel->fontMetrics().horizontalAdvance("Diff: 67108864") + 8;
    const int right =
        Production ? Production->placeCounter(InsertModeLabel->x()) : InsertModeLabel->x();
    DifferenceLabel->setGeometry(right - countWidth, 0, countWidth, height);
    Progress->raise(); // over both while an operation runs
}

void MainWindow::showEvent(QShowEvent* event) {
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
        // Without a window manager (a bare X server, a kiosk) the window is
        // never activated; probe once anyway so the status is not stale.
        activateWindow();
        QTimer::singleShot(kFirstProbeGraceMs, this, [this] {
            if (!activatedOnce_) {
                activatedOnce_ = true;
                FormActivate();
            }
        });
        if (!isMaximized())
            placeOnFirstShow();
    }
    QMainWindow::showEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow()) {
            activatedOnce_ = true;
            // Back from one of our own boxes or dialogs: nothing outside
            // changed (device changes are heard anyway), so no new line.
            if (!leftForOwnWindow_)
                FormActivate();
            leftForOwnWindow_ = false;
        } else {
            leftForOwnWindow_ = QApplication::activeWindow() != nullptr ||
                                QApplication::activeModalWidget() != nullptr ||
                                QApplication::activePopupWidget() != nullptr;
        }
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Never closed under a running chip command: the close is refused.
    if (ChipCommandBusy()) {
        event->ignore();
        SayRefused(Message(Own::CloseRefusedBusy));
        return;
    }
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

// The refusal where the eye is during an operation: across the progress bar,
// with a beep, for a few seconds.
void MainWindow::SayRefused(const std::string& text) {
    QApplication::beep();
    Progress->setFormat(QString::fromStdString(text));
    Progress->setTextVisible(true);
    refusalShown_ = true;
    QTimer::singleShot(kRefusalShownMs, Progress, [this] {
        refusalShown_ = false;
        Progress->setTextVisible(false);
        Progress->resetFormat();
    });
}

// ---- commands of this window ----------------------------------------------

void MainWindow::Q1Click() {
    close();
}

void MainWindow::ToolAboutClick() {
    if (aboutBox_)
        aboutBox_->exec();
}

void MainWindow::ToolDeviceClick() {
    if (form2_)
        form2_->exec();
}

void MainWindow::BitBtn2Click() {
    if (form3_)
        form3_->exec();
}

} // namespace vantor
