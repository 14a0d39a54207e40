// The window as a new user meets it: where it opens, whether every text fits
// its space in each language, Qt's own texts, and what happens to an
// exception that escapes an event handler.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/QtPrompts.h"
#include "app/StatusBar.h"
#include "buffer/DataFile.h"
#include "controls/HexEditorControl.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyleOptionHeader>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <memory>
#include <stdexcept>

using namespace vantor;

namespace {

// Throws from its event handler, as a handler under a memory limit would.
class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw std::runtime_error("out of luck");
        return QObject::event(e);
    }
};

QString Plain(QString text) {
    return text.remove('&');
}

// Every text of `root` that is cut off, as "object: text (needs n, has m)".
QStringList CutTexts(QWidget* root) {
    QStringList cut;
    auto check = [&](const QWidget* w, const QString& text, int need, int have) {
        if (w->isVisible() && !text.isEmpty() && need > have)
            cut << QString("%1/%2: \"%3\" needs %4, has %5")
                       .arg(root->objectName(), w->objectName(), text)
                       .arg(need)
                       .arg(have);
    };
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (label->wordWrap() || !label->pixmap().isNull() || label->text().isEmpty())
            continue;
        check(label, label->text(), label->sizeHint().width(), label->width());
    }
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QPushButton*>(button) || button->inherits("QCheckBox"))
            check(button, button->text(), button->minimumSizeHint().width(), button->width());
    }
    for (QGroupBox* group : root->findChildren<QGroupBox*>())
        check(group, group->title(),
              group->fontMetrics().horizontalAdvance(Plain(group->title())) + 16, group->width());
    for (QHeaderView* header : root->findChildren<QHeaderView*>()) {
        if (!header->isVisible() || !header->model())
            continue;
        const int margin =
            2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int i = 0; i < header->count(); ++i) {
            if (header->isSectionHidden(i) || header->sectionSize(i) <= 1)
                continue; // a column kept out of sight on purpose
            const QString title = header->model()->headerData(i, header->orientation()).toString();
            const int need = header->fontMetrics().horizontalAdvance(title) + margin;
            const int have =
                header->orientation() == Qt::Horizontal ? header->sectionSize(i) : header->width();
            check(header, title, need, have);
        }
    }
    // Grid cells: a chip name cut off cannot be checked against a datasheet.
    for (QTableWidget* grid : root->findChildren<QTableWidget*>()) {
        const QFontMetrics fm(grid->font());
        for (int col = 0; col < grid->columnCount(); ++col)
            for (int row = 0; row < grid->rowCount(); ++row)
                if (const QTableWidgetItem* item = grid->item(row, col))
                    check(grid, item->text(), fm.horizontalAdvance(item->text()) + 4,
                          grid->columnWidth(col));
    }
    if (auto* bar = root->findChild<StatusBar*>()) {
        for (int i = 0; i < StatusBar::kPanelCount; ++i)
            check(bar, bar->panelText(i), bar->fontMetrics().horizontalAdvance(bar->panelText(i)),
                  bar->panelRect(i).width());
    }
    return cut;
}

} // namespace

class WindowFitTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::string exe() const { return (dir_->path() + "/vantor").toStdString(); }

private slots:
    void init() {
        SetCurrentLanguage(SimplifiedChinese);
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::copy(VANTOR_SHIPPED_DB, dir_->path() + "/vantor.Dat"));
    }

    void placeKeepsTheTitleBarOnTheScreen() {
        const QRect screen(0, 0, 1280, 1024);
        // Too large: centred, the top left corner kept in view.
        QCOMPARE(PlaceOnScreen(QRect(0, 0, 1600, 1200), screen).topLeft(), QPoint(0, 0));
        QCOMPARE(PlaceOnScreen(QRect(-500, 900, 700, 500), screen), QRect(290, 262, 700, 500));
        QCOMPARE(PlaceOnScreen(QRect(0, 0, 700, 500), QRect(1280, 24, 1920, 1056)).topLeft(),
                 QPoint(1890, 302));

        // A size saved on a larger screen gives way to this one.
        QFile ini(dir_->path() + "/vantor.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Environment]\nFormWidth=3000\nFormHeight=2400\nFormTop=-900\nFormLeft=-80\n");
        ini.close();
        auto windows = CreateWindows(exe());
        MainWindow& form = *windows->Form1;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect available = form.screen()->availableGeometry();
        QVERIFY2(available.contains(form.frameGeometry()),
                 qPrintable(QString("%1,%2 %3x%4")
                                .arg(form.frameGeometry().x())
                                .arg(form.frameGeometry().y())
                                .arg(form.frameGeometry().width())
                                .arg(form.frameGeometry().height())));
    }

    void savedPlaceAndLogHeightComeBack() {
        QFile ini(dir_->path() + "/vantor.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Environment]\nFormWidth=600\nFormHeight=450\nFormTop=120\nFormLeft=60\n"
                  "LogHeight=150\n");
        ini.close();
        {
            auto windows = CreateWindows(exe());
            MainWindow& form = *windows->Form1;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QCOMPARE(form.pos(), QPoint(60, 120));
            QCOMPARE(form.size(), QSize(600, 450));
            QCOMPARE(form.PaneSplitter->sizes().value(1), 150);
            form.PaneSplitter->setSizes({100, 120});
            form.close();
        }
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains("LogHeight=120"));
        ini.close();
        // A place beyond the screen's right and bottom edges is pulled back.
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Environment]\nFormWidth=600\nFormHeight=450\nFormTop=5000\nFormLeft=700\n");
        ini.close();
        auto windows = CreateWindows(exe());
        windows->Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(windows->Form1.get()));
        QVERIFY(windows->Form1->screen()->availableGeometry().contains(
            windows->Form1->frameGeometry()));
        QCOMPARE(windows->Form1->size(), QSize(600, 450));
    }

    void everyTextFitsItsSpaceInEveryLanguage() {
        auto windows = CreateWindows(exe());
        windows->Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(windows->Form1.get()));
        QStringList cut;
        for (int lang : {SimplifiedChinese, TraditionalChinese, English}) {
            SetCurrentLanguage(lang);
            windows->Form1->ApplyLanguage();
            QCoreApplication::processEvents();
            cut << CutTexts(windows->Form1.get());
            for (QDialog* d : {windows->Form2, windows->Form3, windows->Form4, windows->aboutBox}) {
                d->show();
                QVERIFY(QTest::qWaitForWindowExposed(d));
                QCoreApplication::processEvents();
                cut << CutTexts(d);
                d->hide();
            }
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
    }

    void qtOwnTextsFollowTheLanguageMenu() {
        auto windows = CreateWindows(exe());
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        auto okText = [&] { return box.button(QDialogButtonBox::Ok)->text(); };
        windows->Form1->ChinaClick();
        box.setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        const QString simplified = okText();
        windows->Form1->fantiClick();
        box.setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        const QString traditional = okText();
        windows->Form1->EnlishClick();
        box.setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(Plain(okText()), QString("OK"));
        QCOMPARE(simplified, QString::fromUtf8("确定"));
        QCOMPARE(traditional, QString::fromUtf8("確定"));
    }

    void fileDialogsStartInTheFolderLastUsedWithTheFilterLastChosen() {
        QtPrompts prompts(nullptr);
        std::string folder;
        prompts.setFolderMemory(&folder);
        const QString where = dir_->path();
        QString filterSeen, folderSeen;
        // Answers the dialog once it is up; notes what it offered.
        auto answer = [&](const QString& filter, const QString& file) {
            QTimer::singleShot(0, [&, filter, file] {
                auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(d);
                filterSeen = d->selectedNameFilter();
                folderSeen = d->directory().absolutePath();
                if (file.isEmpty()) {
                    d->reject();
                    return;
                }
                d->selectNameFilter(filter);
                d->selectFile(file);
                static_cast<QDialog*>(d)->accept();
            });
        };
        answer("Intel Hex (*.hex *.ihx *.ihex *.h86)", where + "/dump");
        QCOMPARE(QString::fromStdString(prompts.chooseSaveFile("", SaveFileFilter())),
                 where + "/dump");
        QCOMPARE(filterSeen, QString("Binary (*.bin)")); // the first time, as specified
        QCOMPARE(prompts.chosenSaveFilter(), std::string("Intel Hex (*.hex *.ihx *.ihex *.h86)"));
        QCOMPARE(QString::fromStdString(folder), where);
        answer({}, {});
        QVERIFY(prompts.chooseOpenFile("", OpenFileFilter()).empty());
        QCOMPARE(folderSeen, where);
        answer({}, {});
        prompts.chooseSaveFile("", SaveFileFilter());
        QCOMPARE(filterSeen, QString("Intel Hex (*.hex *.ihx *.ihex *.h86)"));
        QCOMPARE(prompts.chosenSaveFilter(), std::string("Intel Hex (*.hex *.ihx *.ihex *.h86)")); // a cancel keeps it
    }

    void keysReachTheCommandsFromTheHexPane() {
        auto windows = CreateWindows(exe());
        RecordingPrompts prompts; // a command without a programmer says so here
        InstallPrompts(&prompts);
        MainWindow& form = *windows->Form1;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.FlashEditor->setFocus();
        const struct {
            QAction* action;
            QKeySequence keys;
        } expected[] = {{form.O2, QKeySequence("Ctrl+O")}, {form.S1, QKeySequence("Ctrl+S")},
                        {form.R1, QKeySequence("F5")},     {form.E1, QKeySequence("F6")},
                        {form.W1, QKeySequence("F7")},     {form.V1, QKeySequence("F8")},
                        {form.A1, QKeySequence("F9")}};
        for (const auto& e : expected) {
            QCOMPARE(e.action->shortcut(), e.keys);
            QSignalSpy spy(e.action, &QAction::triggered);
            QTest::keySequence(form.FlashEditor, e.keys);
            QCOMPARE(spy.count(), 1);
            QCOMPARE(form.focusWidget(), form.FlashEditor);
        }
    }

    void anExceptionInAHandlerIsShownAndTheProgramGoesOn() {
        RecordingPrompts prompts;
        ScopedPrompts scope(prompts);
        Thrower thrower;
        QEvent user(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&thrower, &user));
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(prompts.texts("error"), (std::vector<std::string>{"out of luck", "out of luck"}));
        // Events still flow.
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        QTRY_VERIFY(ran);
    }
};

int main(int argc, char** argv) {
    VantorApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    WindowFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowFitTest.moc"
