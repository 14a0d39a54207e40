#pragma once
#include <memory>
#include <string>

#include <QApplication>

class QDialog;

namespace vantor {

class MainWindow;
class QtPrompts;

// The five windows, created in order and living until the loop ends.
struct Windows {
    std::unique_ptr<MainWindow> Form1;
    std::unique_ptr<QtPrompts> prompts;
    QDialog* Form2 = nullptr;
    QDialog* Form3 = nullptr;
    QDialog* Form4 = nullptr;
    QDialog* aboutBox = nullptr;
    Windows();
    ~Windows();
};

// The application object: an exception that escapes an event handler is
// shown in the Error box with its text, and the program goes on.
class VantorApplication : public QApplication {
public:
    VantorApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

// Qt's own texts (dialog buttons, the file dialogs) in `languageIndex`'s
// language; English needs none.
void InstallQtTranslations(int languageIndex);

// Creates the windows (main window first) without showing them.
// `executablePath` as for MainWindow: empty for the running executable.
std::unique_ptr<Windows> CreateWindows(const std::string& executablePath = {});
// Creates the windows, shows the main window and runs the loop; returns 0.
int RunApplication(QApplication& app);

} // namespace vantor
