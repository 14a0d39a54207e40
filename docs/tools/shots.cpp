// Renders the main window and every dialog offscreen, in the three
// languages, to PNG files for people to look at (not for comparing pixels).
//   vantor-shots OUTDIR
// Beside the programmer emulator (a copy of this tool in the demo folder) it
// also takes the window at work: an Auto run half-way, per language. The
// main window is taken as a first start shows it (no settings file), and
// once more with the bytes marked that differ from a file.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "buffer/DataFile.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <random>

namespace {

const char* const kLangs[] = {"zh-hans", "zh-hant", "en"};

void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void grabTo(QWidget* w, const QString& dir, const QString& name) {
    QString path = dir + "/" + name + ".png";
    if (!w->grab().save(path))
        std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

void save(QWidget* w, const QString& dir, const QString& name) {
    w->show();
    settle(500); // long enough for the first connection probe to have run
    grabTo(w, dir, name);
}

// The boxes and file dialogs of Qt that the program shows, in this language.
void saveQtDialogs(QWidget* owner, const QString& dir, const QString& lang) {
    QMessageBox question(QMessageBox::Question, "Info",
                         QString::fromStdString(vantor::Message(vantor::Msg::FileExists)),
                         QMessageBox::Yes | QMessageBox::No, owner);
    save(&question, dir, "question-" + lang);
    question.hide();
    QMessageBox error(QMessageBox::Critical, "Error",
                      QString::fromStdString(vantor::Message(vantor::Own::CloseRefusedBusy)),
                      QMessageBox::Ok, owner);
    save(&error, dir, "error-" + lang);
    error.hide();
    QFileDialog open(owner, QString(), QDir::homePath(),
                     QString::fromStdString(vantor::OpenFileFilter()));
    open.setOption(QFileDialog::DontUseNativeDialog);
    open.resize(640, 400);
    save(&open, dir, "open-" + lang);
    open.hide();
}

// Detects the emulated chip, fills the buffer and grabs the window half-way
// through the write of an Auto run, and again once it is done. False without
// a programmer.
bool saveAtWork(vantor::MainWindow& form, const QString& dir, const QString& lang) {
    vantor::RecordingPrompts answers; // detection says what it found in a box
    vantor::ScopedPrompts scope(answers);
    form.RichEdit1->clear(); // one language per picture
    form.ProbeProgrammer();
    if (form.StatusBar1->panelText(1).toStdString() != vantor::Message(vantor::Msg::Ready))
        return false;
    form.BitBtn1Click();
    const uint32_t size = form.CurrentChip().FlashSize;
    if (size == 0 || size > vantor::DataBuffer::size())
        return false;
    std::mt19937 random(2026);
    for (uint32_t i = 0; i < size; ++i)
        form.Buffer[i] = static_cast<uint8_t>(i < 64 ? "Vantor+ at work "[i % 16] : random());
    form.Buffer.UsedLength = static_cast<int32_t>(size);
    form.RefreshHexView();
    bool taken = false;
    std::function<void()> watch = [&] {
        if (taken)
            return;
        const QProgressBar* bar = form.Progress;
        if (bar->isVisible() &&
            form.StatusBar1->panelText(1).toStdString() ==
                vantor::Message(vantor::Msg::WriteFlash) &&
            bar->value() > bar->maximum() * 2 / 5) {
            taken = true;
            grabTo(&form, dir, "work-" + lang);
            return;
        }
        QTimer::singleShot(0, watch);
    };
    QTimer::singleShot(0, watch);
    form.ToolAutoClick();
    settle(100);
    grabTo(&form, dir, "done-" + lang); // the log's last line and the checksum
    return taken;
}

// The pane with the bytes marked that differ from a file: a few bytes of the
// image changed in a copy, compared, and grabbed.
void saveCompare(vantor::MainWindow& form, const QString& dir, const QString& lang) {
    vantor::RecordingPrompts answers;
    vantor::ScopedPrompts scope(answers);
    form.RichEdit1->clear();
    const uint32_t size = std::min(form.CurrentChip().FlashSize, vantor::DataBuffer::size());
    if (form.Buffer.UsedLength == 0) {
        std::mt19937 random(2026);
        for (uint32_t i = 0; i < size; ++i)
            form.Buffer[i] = static_cast<uint8_t>(i < 64 ? "Vantor+ compare "[i % 16] : random());
        form.Buffer.UsedLength = static_cast<int32_t>(size);
        form.RefreshHexView();
    }
    QByteArray other(reinterpret_cast<const char*>(form.Buffer.data()), qsizetype(size));
    for (int at : {0x13, 0x14, 0x2A, 0x51, 0x77, 0xC3})
        other[at] = char(other[at] ^ 0x20);
    const QString path = QDir::temp().filePath("vantor-compare.bin");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(other);
    file.close();
    form.CompareWithFile(path);
    form.GoToDifference(true);
    settle(100);
    grabTo(&form, dir, "compare-" + lang);
    QFile::remove(path);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    vantor::VantorApplication app(argc, argv);
    QString dir = argc > 1 ? argv[1] : "shots";
    QDir().mkpath(dir);
    // Files beside the application: the shipped chip database, no settings.
    QString exe = QCoreApplication::applicationDirPath() + "/vantor";
    auto windows = vantor::CreateWindows(exe.toStdString());
    for (int lang = 0; lang < 3; ++lang) {
        vantor::SetCurrentLanguage(lang);
        if (lang == 0)
            windows->Form1->show(); // first show loads the chip database
        windows->Form1->ApplyLanguage();
        // One language per picture: the log and the status panel anew.
        windows->Form1->RichEdit1->clear();
        windows->Form1->ProbeProgrammer();
        save(windows->Form1.get(), dir, QString("main-%1").arg(kLangs[lang]));
        for (QDialog* d : {windows->Form2, windows->Form3, windows->Form4, windows->aboutBox}) {
            save(d, dir, QString("%1-%2").arg(d->objectName(), kLangs[lang]));
            d->hide();
        }
        saveQtDialogs(windows->Form1.get(), dir, kLangs[lang]);
    }
    for (int lang = 0; lang < 3; ++lang) {
        vantor::SetCurrentLanguage(lang);
        windows->Form1->ApplyLanguage();
        if (!saveAtWork(*windows->Form1, dir, kLangs[lang]))
            std::fprintf(stderr, "no programmer here: no picture at work\n");
        saveCompare(*windows->Form1, dir, kLangs[lang]);
    }
    return 0;
}
