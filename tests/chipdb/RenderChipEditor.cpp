// Renders the chip editor over a database file in the three languages, with
// one row double-clicked into the controls, to PNG files for looking at:
//   chipdb_render_editor DATABASE OUTPUT_DIR
#include "chipdb/ui/ChipEditorDialog.h"
#include "core/MessageTable.h"

#include <QApplication>
#include <QPixmap>
#include <QTableWidget>

#include <cstdio>

using namespace vantor;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DATABASE OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    ChipDatabase db;
    ChipEditorDialog form;
    form.setDatabase(&db);
    form.setDatabasePath(argv[1]); // only read: the pictures never press Save
    form.show();
    app.processEvents();
    if (form.RowCount() < 2) {
        std::fprintf(stderr, "%s: no records shown\n", argv[1]);
        return 1;
    }
    // A row some way down, loaded into the controls as a double click does.
    const int row = std::min(form.RowCount() - 1, 390);
    form.StringGrid1->setCurrentCell(row - 1, 2);
    form.StringGrid1DblClick();
    bool ok = true;
    for (int language : {0, 1, 2}) {
        form.ApplyCaptions(language);
        app.processEvents();
        ok = form.grab().save(out + QString("/chip-editor-%1.png").arg(language)) && ok;
    }
    std::printf("chip editor rows: %d\n", form.RowCount() - 1);
    return ok ? 0 : 1;
}
