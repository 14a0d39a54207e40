// Renders the main window and every dialog offscreen, in the three
// languages, to PNG files for people to look at (not for comparing pixels).
//   vantor-shots OUTDIR
#include "app/Application.h"
#include "app/TForm1.h"
#include "core/MessageTable.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <cstdio>

namespace {

void save(QWidget* w, const QString& dir, const QString& name) {
    w->show();
    // Long enough for the first connection probe to have run.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QString path = dir + "/" + name + ".png";
    if (!w->grab().save(path))
        std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QString dir = argc > 1 ? argv[1] : "shots";
    QDir().mkpath(dir);
    // Files beside the application: the shipped chip database, no settings.
    QString exe = QCoreApplication::applicationDirPath() + "/vantor";
    auto windows = vantor::CreateWindows(exe.toStdString());
    const char* langs[] = {"zh-hans", "zh-hant", "en"};
    for (int lang = 0; lang < 3; ++lang) {
        vantor::SetCurrentLanguage(lang);
        if (lang == 0)
            windows->Form1->show(); // first show loads the chip database
        windows->Form1->ApplyLanguage();
        save(windows->Form1.get(), dir, QString("main-%1").arg(langs[lang]));
        for (QDialog* d : {windows->Form2, windows->Form3, windows->Form4}) {
            save(d, dir, QString("%1-%2").arg(d->objectName(), langs[lang]));
            d->hide();
        }
    }
    save(windows->AboutBox, dir, "about");
    windows->AboutBox->hide();
    return 0;
}
