// Starts the application's windows as the executable does, and on the main
// window's first paint prints the time since entry and the resident memory,
// then quits. The start-up figures run it as a child process.
#include "app/Application.h"
#include "app/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class FirstPaint : public QObject {
public:
    explicit FirstPaint(QElapsedTimer& clock) : clock_(clock) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            double ms = double(clock_.nsecsElapsed()) / 1e6;
            // Report once the paint has finished, so its cost is included.
            QTimer::singleShot(0, [ms] {
                std::printf("first_paint_ms %.3f\nresident_kib %ld\n", ms, residentKiB());
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QElapsedTimer& clock_;
    bool done_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    // The executable beside this probe names the database and settings.
    auto windows =
        vantor::CreateWindows((QCoreApplication::applicationDirPath() + "/vantor").toStdString());
    FirstPaint spy(clock);
    windows->Form1->installEventFilter(&spy);
    windows->Form1->show();
    return app.exec();
}
