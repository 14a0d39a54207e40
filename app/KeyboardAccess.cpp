// The window without a mouse: the bench's menu items and their keys, the
// shortcut in every tool tip, and the insert/overwrite indicator.
#include "app/MainWindow.h"
#include "app/OperatorMenu.h"
#include "app/StatusBar.h"
#include "controls/HexEditorControl.h"
#include "core/MessageTable.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolBar>

namespace vantor {

namespace {

QAction* BenchAction(QObject* parent, const char* name, const QKeySequence& key) {
    auto* action = new QAction(parent);
    action->setObjectName(name);
    action->setShortcut(key);
    return action;
}

// A menu caption as a tip: no mnemonic, no "...".
QString PlainText(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    text.remove('&');
    if (text.endsWith(QStringLiteral("...")))
        text.chop(3);
    return text.trimmed();
}

QString TipWithKey(const QString& text, const QKeySequence& key) {
    if (key.isEmpty())
        return PlainText(text);
    return QString("%1 (%2)").arg(PlainText(text), key.toString(QKeySequence::NativeText));
}

} // namespace

void MainWindow::buildBenchItems() {
    // Every command has a key; the designed ones keep theirs.
    Q1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Fill->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    N7->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    N3->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    N5->setShortcut(QKeySequence(Qt::Key_F1));

    DetectItem = BenchAction(this, "DetectItem", QKeySequence(Qt::CTRL | Qt::Key_D));
    FindChipItem =
        BenchAction(this, "FindChipItem", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    O3->addSeparator();
    O3->addAction(DetectItem);
    O3->addAction(FindChipItem);
    connect(DetectItem, &QAction::triggered, this, &MainWindow::BitBtn1Click);
    connect(FindChipItem, &QAction::triggered, this, &MainWindow::BitBtn2Click);

    CompareItem = BenchAction(this, "CompareItem", QKeySequence(Qt::CTRL | Qt::Key_K));
    NextDifferenceItem = BenchAction(this, "NextDifferenceItem", QKeySequence(Qt::Key_F4));
    PreviousDifferenceItem =
        BenchAction(this, "PreviousDifferenceItem", QKeySequence(Qt::SHIFT | Qt::Key_F4));
    Buff->addSeparator();
    for (QAction* a : {CompareItem, NextDifferenceItem, PreviousDifferenceItem})
        Buff->addAction(a);
    connect(CompareItem, &QAction::triggered, this, &MainWindow::CompareWithFileClick);
    connect(NextDifferenceItem, &QAction::triggered, this, [this] { GoToDifference(true); });
    connect(PreviousDifferenceItem, &QAction::triggered, this, [this] { GoToDifference(false); });
    // Each would open the programmer, or change the pane under the operation.
    for (QAction* a :
         {DetectItem, FindChipItem, CompareItem, NextDifferenceItem, PreviousDifferenceItem})
        a->setProperty("lockedWhileBusy", true);

    RecentMenu = new QMenu(this);
    RecentMenu->setObjectName("RecentMenu");
    O1->insertMenu(Q1, RecentMenu);
    O1->insertSeparator(Q1);
    RecentMenu->menuAction()->setProperty("lockedWhileBusy", true);
}

void MainWindow::retranslateBenchItems(int lang) {
    const auto text = [lang](int id) { return QString::fromStdString(Message(id, lang)); };
    DetectItem->setText(text(Own::DetectItem));
    FindChipItem->setText(text(Own::FindChipItem));
    CompareItem->setText(text(Own::CompareItem));
    NextDifferenceItem->setText(text(Own::NextDifferenceItem));
    PreviousDifferenceItem->setText(text(Own::PreviousDifferenceItem));
    RecentMenu->setTitle(text(Own::RecentFilesMenu));
    if (auto* tools = findChild<OperatorMenu*>("OperatorMenu"))
        tools->retranslate();

    // Tool buttons and push buttons say their key in the tip.
    const std::pair<QAction*, QAction*> twins[] = {
        {ToolOpen, O2},   {ToolSave, S1},   {ToolRead, R1}, {ToolErase, E1},
        {ToolWrite, W1},  {ToolVerify, V1}, {ToolAuto, A1}, {ToolBank, N7},
        {ToolFill, Fill}, {ToolDevice, N3}, {ToolAbout, N5}};
    for (const auto& [tool, item] : twins)
        tool->setToolTip(TipWithKey(item->text(), item->shortcut()));
    BitBtn1->setToolTip(TipWithKey(DetectItem->text(), DetectItem->shortcut()));
    BitBtn2->setToolTip(TipWithKey(FindChipItem->text(), FindChipItem->shortcut()));
    BitBtn3->setToolTip(TipWithKey(A1->text(), A1->shortcut()));
    showInsertMode();
}

void MainWindow::showInsertMode() {
    InsertModeLabel->setText(QString::fromStdString(
        Message(FlashEditor->insertMode() ? Own::InsertMode : Own::OverwriteMode)));
}

} // namespace vantor
