#pragma once
#include <memory>

class QApplication;
class QDialog;

namespace vantor {

class TForm1;
class QtPrompts;

// The five windows, created in order and living until the loop ends.
struct Windows {
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<QtPrompts> prompts;
    QDialog* Form2 = nullptr;
    QDialog* Form3 = nullptr;
    QDialog* Form4 = nullptr;
    QDialog* AboutBox = nullptr;
    Windows();
    ~Windows();
};

// Creates the windows (main window first) without showing them.
std::unique_ptr<Windows> CreateWindows();
// Creates the windows, shows the main window and runs the loop; returns 0.
int RunApplication(QApplication& app);

} // namespace vantor
