// Figures of the hex pane at chip size: loading 64 MiB against a plain copy,
// one screen painted at 64 bytes and at 64 MiB, memory per loaded byte before
// and after 10,000 typed edits, what undo keeps for large edits, and a jump to
// the last row.
#include "bench/BenchRegistry.h"
#include "buffer/DataBuffer.h"
#include "controls/HexBinding.h"
#include "controls/HexEditorControl.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr std::size_t Size64M = std::size_t{64} << 20;

QApplication& app() {
    static char name[] = "vantor_bench";
    static char* argv[] = {name, nullptr};
    static int argc = 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: the runner's exit must not depend on Qt's teardown order.
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

// Resident and peak resident memory of this process, in bytes.
long long statusField(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t len = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, len, field) == 0)
            return std::atoll(line.c_str() + len + 1) * 1024;
    return -1;
}
long long residentBytes() {
    return statusField("VmRSS");
}
long long peakBytes() {
    return statusField("VmHWM");
}
// Starts a new peak from the present resident size.
void resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

std::vector<uint8_t> pattern(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
    return v;
}

double seconds(const std::function<void()>& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

VANTOR_BENCH(hexpane_load) {
    app();
    const std::vector<uint8_t> src = pattern(Size64M);

    // A plain copy, into fresh memory and into memory already touched.
    const double copyFresh = bench.bestSeconds([&] {
        auto* d = static_cast<uint8_t*>(std::malloc(Size64M));
        std::memcpy(d, src.data(), Size64M);
        asm volatile("" : : "r"(d) : "memory"); // the copy must happen
        std::free(d);
    });
    std::vector<uint8_t> warm(Size64M, 1);
    const double copyWarm =
        bench.bestSeconds([&] { std::memcpy(warm.data(), src.data(), Size64M); });
    warm = {};

    vantor::HexEditorControl w;
    w.resize(900, 700);
    double loadFresh = 1e300;
    for (int i = 0; i < bench.repetitions(); ++i) {
        w.LoadFromStream(std::span<const uint8_t>{}); // drop the block so the load starts afresh
        loadFresh = std::min(loadFresh, seconds([&] { w.LoadFromStream(std::span(src)); }));
    }
    const double reload = bench.bestSeconds([&] { w.LoadFromStream(std::span(src)); });

    w.LoadFromStream(std::span<const uint8_t>{});
    const long long before = residentBytes();
    resetPeak();
    w.LoadFromStream(std::span(src));
    const long long peak = peakBytes();

    bench.report("hexpane_memcpy_64MiB_fresh", copyFresh * 1e3, "ms");
    bench.report("hexpane_memcpy_64MiB_warm", copyWarm * 1e3, "ms");
    bench.report("hexpane_load_64MiB", loadFresh * 1e3, "ms");
    bench.report("hexpane_load_64MiB_vs_memcpy_fresh", loadFresh / copyFresh, "x");
    bench.report("hexpane_reload_64MiB", reload * 1e3, "ms");
    bench.report("hexpane_reload_64MiB_vs_memcpy_warm", reload / copyWarm, "x");
    bench.report("hexpane_load_peak_extra_per_loaded_byte",
                 static_cast<double>(peak - before) / Size64M, "B/B");

    // The program's own path: a chip change shows FlashSize bytes of the image.
    vantor::DataBuffer image;
    std::memcpy(image.data(), src.data(), Size64M);
    const double refresh =
        bench.bestSeconds([&] { vantor::RefreshHexView(image, w, vantor::DataBufferSize); });
    bench.report("hexpane_refresh_64MiB_vs_memcpy_warm", refresh / copyWarm, "x");
}

VANTOR_BENCH(hexpane_paint) {
    app();
    // Panes side by side, timed in turns so that load on the machine falls
    // on all of them alike.
    auto pane = [](std::size_t bytes) {
        auto w = std::make_unique<vantor::HexEditorControl>();
        w->resize(900, 700);
        w->show();
        const std::vector<uint8_t> src = pattern(bytes);
        w->LoadFromStream(std::span(src));
        return w;
    };
    auto tiny = pane(64);
    const std::size_t rows = tiny->pageRows();
    auto screenful = pane(16 * rows + 16); // the same rows as at 64 MiB
    auto large = pane(Size64M);
    // 10,000 changed bytes spread over the image, and the view among them.
    std::mt19937 rng(5);
    std::uniform_int_distribution<std::size_t> anywhere(0, Size64M - 1);
    for (int i = 0; i < 10000; ++i) {
        large->core().moveCaret({anywhere(rng), 0, false});
        large->core().typeChar(U'5');
        large->core().typeChar(U'a');
    }
    large->core().moveCaret({Size64M / 2, 0, false});
    large->scrollToRow(Size64M / 2 / 16 - 10);
    auto selected = pane(Size64M);
    selected->core().select(0, Size64M - 1, false);
    selected->scrollToRow(Size64M / 2 / 16);

    vantor::HexEditorControl* panes[] = {tiny.get(), screenful.get(), large.get(), selected.get()};
    double best[4] = {1e300, 1e300, 1e300, 1e300};
    QImage img(tiny->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const int paints = 50;
    for (int rep = 0; rep < 4 * bench.repetitions(); ++rep) {
        for (int k = 0; k < 4; ++k) {
            const double t = seconds([&] {
                for (int i = 0; i < paints; ++i)
                    panes[k]->viewport()->render(&img);
            });
            best[k] = std::min(best[k], t / paints);
        }
    }
    const double perRowSmall = best[0] / 4;
    const double perRowLarge = best[2] / static_cast<double>(rows + 1);
    bench.report("hexpane_paint_screen_64B", best[0] * 1e6, "us");
    bench.report("hexpane_paint_screen_full_small", best[1] * 1e6, "us");
    bench.report("hexpane_paint_screen_64MiB_10k_marks", best[2] * 1e6, "us");
    bench.report("hexpane_paint_screen_64MiB_all_selected", best[3] * 1e6, "us");
    bench.report("hexpane_paint_64MiB_vs_full_small", best[2] / best[1], "x");
    bench.report("hexpane_paint_per_row_64MiB_vs_64B", perRowLarge / perRowSmall, "x");
    bench.report("hexpane_paint_rows_per_screen", static_cast<double>(rows), "rows");
}

VANTOR_BENCH(hexpane_memory) {
    app();
    auto w = std::make_unique<vantor::HexEditorControl>();
    w->resize(900, 700);
    const long long base = residentBytes();
    {
        const std::vector<uint8_t> src = pattern(Size64M);
        w->LoadFromStream(std::span(src));
    }
    const long long loaded = residentBytes();
    bench.report("hexpane_memory_per_loaded_byte", static_cast<double>(loaded - base) / Size64M,
                 "B/B");

    std::mt19937 rng(9);
    std::uniform_int_distribution<std::size_t> anywhere(0, Size64M - 1);
    for (int i = 0; i < 10000; ++i) { // each edit its own undo step
        w->core().moveCaret({anywhere(rng), 0, false});
        w->core().typeChar(U'c');
        w->core().typeChar(U'3');
    }
    const long long edited = residentBytes();
    bench.report("hexpane_memory_per_loaded_byte_after_10k_edits",
                 static_cast<double>(edited - base) / Size64M, "B/B");
    bench.report("hexpane_memory_growth_per_edit", static_cast<double>(edited - loaded) / 10000,
                 "B");
    bench.report("hexpane_undo_bytes_after_10k_edits",
                 static_cast<double>(w->core().history().usedBytes()), "B");

    // What undo keeps for 16 MiB edits.
    const std::size_t big = std::size_t{16} << 20;
    const std::vector<uint8_t> paste(big, 0x5A);
    w->setUndoBudget(std::size_t{64} << 20);
    w->SetModified(false);
    w->core().moveCaret({1000, 0, false});
    w->core().paste(paste);
    bench.report("hexpane_undo_bytes_per_byte_overwrite_paste_16MiB",
                 static_cast<double>(w->core().history().usedBytes()) / big, "B/B");
    w->SetModified(false);
    w->setInsertMode(true);
    w->core().paste(paste);
    bench.report("hexpane_undo_bytes_per_byte_insert_paste_16MiB",
                 static_cast<double>(w->core().history().usedBytes()) / big, "B/B");
    const double undoTime = seconds([&] { w->undo(); });
    bench.report("hexpane_undo_insert_paste_16MiB", undoTime * 1e3, "ms");
}

VANTOR_BENCH(hexpane_jump) {
    app();
    vantor::HexEditorControl w;
    w.resize(900, 700);
    w.show();
    {
        const std::vector<uint8_t> src = pattern(Size64M);
        w.LoadFromStream(std::span(src));
    }
    QImage img(w.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const double jump = bench.bestSeconds([&] {
        QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
        QApplication::sendEvent(&w, &home);
        w.viewport()->render(&img);
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(&w, &end);
        w.viewport()->render(&img);
    });
    if (w.core().caret().pos != Size64M - 1)
        bench.note("the jump did not reach the last byte");
    bench.report("hexpane_jump_first_to_last_row_and_back_64MiB", jump * 1e6, "us");
}
