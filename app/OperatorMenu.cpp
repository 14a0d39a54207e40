#include "app/OperatorMenu.h"

#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "app/OperatorDialogs.h"
#include "app/StatusBar.h"
#include "buffer/Checksum.h"
#include "controls/HexBinding.h"
#include "controls/HexEditorControl.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QTimer>

namespace vantor {

namespace {

QAction* Item(QObject* parent, const char* name, const QKeySequence& key = {}) {
    auto* action = new QAction(parent);
    action->setObjectName(name);
    if (!key.isEmpty()) {
        action->setShortcut(key);
    }
    return action;
}

} // namespace

void ChecksumPanel::setSums(std::optional<Checksums> sums) {
    Sums = sums;
    update();
}

QString ChecksumPanel::text() const {
    return Sums ? QString::fromStdString(ChecksumText(*Sums)) : QString();
}

void ChecksumPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text());
}

OperatorMenu::OperatorMenu(MainWindow& form) : QObject(&form), Form(form) {
    setObjectName("OperatorMenu");
    StopItem = Item(&form, "StopItem", QKeySequence(Qt::Key_Escape));
    UnprotectItem = Item(&form, "UnprotectItem", QKeySequence(Qt::CTRL | Qt::Key_U));
    ReadTwiceItem = Item(&form, "ReadTwiceItem", QKeySequence(Qt::SHIFT | Qt::Key_F5));
    form.O3->addSeparator();
    form.O3->addAction(ReadTwiceItem);
    form.O3->addAction(UnprotectItem);
    form.O3->addSeparator();
    form.O3->addAction(StopItem);

    FindItem = Item(&form, "FindItem", QKeySequence(Qt::CTRL | Qt::Key_F));
    FindNextItem = Item(&form, "FindNextItem", QKeySequence(Qt::Key_F3));
    FindPreviousItem = Item(&form, "FindPreviousItem", QKeySequence(Qt::SHIFT | Qt::Key_F3));
    GoToItem = Item(&form, "GoToItem", QKeySequence(Qt::CTRL | Qt::Key_G));
    form.Buff->addSeparator();
    for (QAction* a : {FindItem, FindNextItem, FindPreviousItem, GoToItem}) {
        form.Buff->addAction(a);
    }

    connect(StopItem, &QAction::triggered, this, &OperatorMenu::stop);
    connect(UnprotectItem, &QAction::triggered, this, [this] {
        if (Form.ChipChosen())
            Form.ChipHost().Commands.Unprotect(Form.CurrentChip());
    });
    connect(ReadTwiceItem, &QAction::triggered, this, [this] { Form.RunRead(true); });
    connect(FindItem, &QAction::triggered, this, &OperatorMenu::askFind);
    connect(FindNextItem, &QAction::triggered, this, [this] { repeatFind(true); });
    connect(FindPreviousItem, &QAction::triggered, this, [this] { repeatFind(false); });
    connect(GoToItem, &QAction::triggered, this, &OperatorMenu::askGoTo);
    // While a command runs these would start another or move under it.
    for (QAction* a :
         {UnprotectItem, ReadTwiceItem, FindItem, FindNextItem, FindPreviousItem, GoToItem}) {
        a->setProperty("lockedWhileBusy", true);
    }
    for (QMenu* menu : {form.O3, form.Buff}) {
        connect(menu, &QMenu::aboutToShow, this, &OperatorMenu::retranslate);
    }

    // The checksums follow every change of the pane, a moment after typing stops.
    ChecksumLabel = new ChecksumPanel(form.StatusBar1);
    ChecksumLabel->setObjectName("ChecksumLabel");
    ChecksumDelay = new QTimer(this);
    ChecksumDelay->setSingleShot(true);
    ChecksumDelay->setInterval(150);
    connect(ChecksumDelay, &QTimer::timeout, this, &OperatorMenu::updateChecksums);
    connect(form.FlashEditor, &HexEditorControl::contentChanged, ChecksumDelay,
            qOverload<>(&QTimer::start));
    connect(form.StatusBar1, &StatusBar::resized, this, &OperatorMenu::placeChecksumLabel);
    placeChecksumLabel();
    retranslate();
}

void OperatorMenu::retranslate() {
    // The menu's letter in the designed "Name(&X)" form, before any "...".
    const auto text = [](int id, char letter) {
        QString caption = QString::fromStdString(Message(id));
        const QString mnemonic = QString("(&%1)").arg(QChar(letter));
        if (caption.endsWith(QStringLiteral("...")))
            return caption.insert(caption.size() - 3, mnemonic);
        return caption + mnemonic;
    };
    StopItem->setText(text(Own::StopItem, 'S'));
    UnprotectItem->setText(text(Own::UnprotectItem, 'U'));
    ReadTwiceItem->setText(text(Own::ReadTwiceItem, 'T'));
    FindItem->setText(text(Own::FindItem, 'I'));
    FindNextItem->setText(text(Own::FindNextItem, 'N'));
    FindPreviousItem->setText(text(Own::FindPreviousItem, 'P'));
    GoToItem->setText(text(Own::GoToItem, 'G'));
    ChecksumLabel->update();
}

void OperatorMenu::placeChecksumLabel() {
    const int left = StatusBar::kProgressLeft + 4;
    // Up to the difference count and the insert/overwrite mode at the end.
    const int right = Form.DifferenceLabel->x();
    ChecksumLabel->setGeometry(left, 0, std::max(0, right - left), Form.StatusBar1->height());
    ChecksumLabel->lower(); // the progress bar covers it while a command runs
}

void OperatorMenu::updateChecksums() {
    // The figures of what Save and Write would take, not of the pane alone:
    // after an insert or a delete the two differ.
    ChecksumLabel->setSums(SavedImageChecksums(*Form.FlashEditor, Form.CurrentChip().FlashSize));
}

void OperatorMenu::stop() {
    // Esc outside a command is nothing to stop.
    if (Form.ChipCommandBusy()) {
        Form.ChipHost().requestStop();
    }
}

bool OperatorMenu::find(const hex::SearchRequest& request) {
    LastSearch = request;
    return repeatFind(request.forward);
}

bool OperatorMenu::repeatFind(bool forward) {
    if (LastSearch.pattern.empty()) {
        askFind();
        return false;
    }
    if (hex::FindNext(Form.FlashEditor->core(), LastSearch.pattern, forward)) {
        Form.FlashEditor->viewport()->update();
        emit Form.FlashEditor->caretMoved();
        return true;
    }
    QString shown;
    for (const uint8_t b : LastSearch.pattern) {
        shown += QString::asprintf("%02X ", unsigned(b));
    }
    CurrentPrompts().showInformation(Message(Own::FindNotFound) + shown.trimmed().toStdString());
    return false;
}

bool OperatorMenu::goTo(std::size_t offset) {
    if (!hex::GoToOffset(Form.FlashEditor->core(), offset)) {
        CurrentPrompts().showError(Message(Own::GoToOutside) +
                                   QString::number(qulonglong(offset), 16).toUpper().toStdString() +
                                   "h");
        return false;
    }
    Form.FlashEditor->viewport()->update();
    emit Form.FlashEditor->caretMoved();
    return true;
}

void OperatorMenu::askFind() {
    FindDialog dialog(&Form);
    while (dialog.exec() == QDialog::Accepted) {
        if (auto request = dialog.request()) {
            find(*request);
            return;
        }
    }
}

void OperatorMenu::askGoTo() {
    GoToDialog dialog(&Form);
    if (dialog.exec() == QDialog::Accepted) {
        if (auto offset = dialog.offset()) {
            goTo(*offset);
        }
    }
}

} // namespace vantor
