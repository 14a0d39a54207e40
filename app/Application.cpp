#include "app/Application.h"

#include "app/AboutBox.h"
#include "app/MainWindow.h"
#include "app/QtPrompts.h"
#include "buffer/FillDialog.h"
#include "chipdb/DatabaseFile.h"
#include "chipdb/ui/ChipEditorDialog.h"
#include "chipdb/ui/ChipFindDialog.h"

#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <exception>

// Resources of a static library must be registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace vantor {

// The desktop entry's name and the icon's, as installed.
static constexpr const char* kDesktopId = "org.vantorplus.vantor";

namespace {

void ShowEscaped(const std::string& text) {
    try {
        CurrentPrompts().showError(text);
    } catch (...) {
        // Not even a box can be shown (memory is gone): the program goes on.
    }
}

} // namespace

bool VantorApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowEscaped(e.what());
    } catch (...) {
        ShowEscaped({});
    }
    return false;
}

void InstallQtTranslations(int languageIndex) {
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    const char* locale = languageIndex == SimplifiedChinese    ? "zh_CN"
                         : languageIndex == TraditionalChinese ? "zh_TW"
                                                               : nullptr;
    if (!locale || !QCoreApplication::instance())
        return;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QString("qtbase_") + locale,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
        installed = translator;
    } else {
        delete translator; // not installed: Qt's texts stay English
    }
}

Windows::Windows() = default;
Windows::~Windows() {
    InstallPrompts(nullptr);
}

std::unique_ptr<Windows> CreateWindows(const std::string& executablePath) {
    initResources();
    auto w = std::make_unique<Windows>();
    w->Form1 = std::make_unique<MainWindow>(executablePath);
    w->prompts = std::make_unique<QtPrompts>(w->Form1.get());
    w->prompts->setFolderMemory(&w->Form1->LastFolder);
    InstallPrompts(w->prompts.get());
    // Dialogs are children of the main window: destroyed with it.
    auto* form2 = new ChipEditorDialog(w->Form1.get());
    form2->setDatabase(&w->Form1->Chips);
    form2->setDatabasePath(w->Form1->Places().database);
    form2->setDatabaseSavePath(w->Form1->Places().databaseSave);
    w->Form2 = form2;
    auto* form3 = new ChipFindDialog(w->Form1.get());
    w->Form3 = form3;
    auto* form4 = new FillDialog(w->Form1->Buffer, w->Form1.get());
    w->Form4 = form4;
    auto* about = new AboutBox(w->Form1.get());
    about->setFilePlaces(w->Form1->Places(), UsbTransport::kDefaultLibrary);
    w->aboutBox = about;
    w->Form1->setDialogs(w->Form2, form3, form4, w->aboutBox);
    return w;
}

int RunApplication(QApplication& app) {
    try {
        QGuiApplication::setDesktopFileName(kDesktopId);
        auto windows = CreateWindows();
        QApplication::setWindowIcon(QIcon::fromTheme(kDesktopId, QIcon(":/icons/app.svg")));
        windows->Form1->show();
        // "vantor FILE" opens FILE as Open would, once the window is up.
        const QStringList arguments = QCoreApplication::arguments();
        if (arguments.size() > 1 && !arguments.back().startsWith('-')) {
            const QString file = arguments.back();
            QTimer::singleShot(0, windows->Form1.get(),
                               [&windows, file] { windows->Form1->OpenPath(file, false); });
        }
        // For checks of an installed copy: start, close, and quit. With the
        // value "save-database" the chip editor first saves the database.
        const QByteArray exitAfterStart = qgetenv("VANTOR_EXIT_AFTER_START");
        if (!exitAfterStart.isEmpty()) {
            QTimer::singleShot(0, windows->Form1.get(), [&windows, exitAfterStart] {
                if (exitAfterStart == "save-database") {
                    auto* editor = static_cast<ChipEditorDialog*>(windows->Form2);
                    editor->FormShow();
                    editor->BtnSaveClick();
                }
                windows->Form1->close();
            });
        }
        app.exec();
        return 0;
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Error", QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, "Error", QString());
    }
    return 0;
}

} // namespace vantor
