// Renders the find dialog (filtered by "W25Q", in the three languages) and a
// chip group bound to the selection model to PNG files, for looking at:
//   chipdb_render_ui DATABASE OUTPUT_DIR
#include "chipdb/DatabaseFile.h"
#include "chipdb/ui/ChipBoxBinder.h"
#include "chipdb/ui/ChipFindDialog.h"
#include "core/MessageTable.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTreeWidget>

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
    if (LoadDatabaseFile(db, argv[1]) != DatabaseLoadResult::Loaded) {
        std::fprintf(stderr, "%s: not loaded\n", argv[1]);
        return 1;
    }

    // The chip group, as the main window lays it out.
    QGroupBox group("Chip");
    auto* grid = new QGridLayout(&group);
    QComboBox type, maker, name, step;
    for (QComboBox* c : {&type, &maker, &name, &step})
        c->setEditable(true);
    QLineEdit size, page;
    grid->addWidget(new QLabel("Type"), 0, 0);
    grid->addWidget(&type, 0, 1);
    grid->addWidget(new QLabel("Manufacturer"), 1, 0);
    grid->addWidget(&maker, 1, 1);
    grid->addWidget(new QLabel("Name"), 2, 0);
    grid->addWidget(&name, 2, 1);
    grid->addWidget(new QLabel("Size"), 3, 0);
    grid->addWidget(&step, 3, 1);
    grid->addWidget(&size, 4, 1);
    grid->addWidget(new QLabel("Pagesize"), 5, 0);
    grid->addWidget(&page, 5, 1);
    ChipSelection model(&db);
    ChipBoxBinder binder(model, {&type, &maker, &name, &step, &size, &page});
    binder.SelectChip(0, 0, 0);
    SelectByNames(model, ChipListRow{"SPI_FLASH", "Winbond", "W25Q32JV", 0},
                  [&](int t, int m, int n) { binder.SelectChip(t, m, n); });
    group.resize(260, 220);
    group.show();
    app.processEvents();
    bool ok = group.grab().save(out + "/chip-group.png");

    ChipFindDialog form;
    form.setDatabase(&db);
    form.show();
    form.ComboBox1->setEditText("W25Q");
    form.ListView1->setCurrentItem(form.ListView1->topLevelItem(2));
    for (int language : {0, 1, 2}) {
        form.ApplyCaptions(language);
        app.processEvents();
        ok = form.grab().save(out + QString("/find-dialog-%1.png").arg(language)) && ok;
    }
    std::printf("find dialog rows: %d\n", form.ListView1->topLevelItemCount());
    return ok ? 0 : 1;
}
