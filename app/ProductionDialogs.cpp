#include "app/ProductionDialogs.h"

#include "app/ProductionLine.h"
#include "core/MessageTable.h"
#include "core/Prompts.h"
#include "core/SafeSave.h"
#include "production/LogReport.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vantor {

namespace {

QString Text(int id) {
    return QString::fromStdString(Message(id));
}

} // namespace

std::optional<std::string> AskLogTarget(QWidget* parent, const std::string& current) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, Text(Own::LogStoreItem).remove("..."),
                                               Text(Own::LogStorePrompt), QLineEdit::Normal,
                                               QString::fromStdString(current), &ok);
    return ok ? std::optional(text.trimmed().toStdString()) : std::nullopt;
}

SerialDialog::SerialDialog(const std::optional<SerialSeries>& series, QWidget* parent)
    : QDialog(parent) {
    setObjectName("SerialDialog");
    setWindowTitle(Text(Own::SerialBox));
    Field = new QLineEdit(series ? QString::fromStdString(series->field.key()) : "0x0:4:le", this);
    Start = new QLineEdit(QString::number(series ? series->start : 1), this);
    Step = new QLineEdit(QString::number(series ? series->step : 1), this);
    Why = new QLabel(this);
    Why->setWordWrap(true);
    auto* form = new QFormLayout(this);
    form->addRow(Text(Own::SerialFieldLabel), Field);
    form->addRow(Text(Own::SerialStartLabel), Start);
    form->addRow(Text(Own::SerialStepLabel), Step);
    form->addRow(Why);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Series) {
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* e : {Field, Start, Step}) {
        connect(e, &QLineEdit::textChanged, this, &SerialDialog::check);
    }
    check();
}

void SerialDialog::check() {
    std::string why;
    const auto field = SerialField::parse(Field->text().trimmed().toStdString(), &why);
    const auto start = ParseSerialNumber(Start->text().trimmed().toStdString());
    const auto step = ParseSerialNumber(Step->text().trimmed().toStdString());
    Series.reset();
    if (field && start && step && *step > 0) {
        Series = SerialSeries{*field, *start, *step};
    } else if (field) {
        why = Text(Own::SerialStartLabel).toStdString() + ", " +
              Text(Own::SerialStepLabel).toStdString() + ": 0..0x7FFFFFFFFFFFFFFE";
    }
    Why->setText(Series ? QString()
                        : QString::fromStdString(FormatMessage(Own::SerialBadField, {why})));
}

ProductionLogView::ProductionLogView(ProductionLine& line, QWidget* parent)
    : QDialog(parent), Line(line) {
    setObjectName("ProductionLogView");
    setWindowTitle(Text(Own::ProductionLogItem).remove("..."));
    resize(900, 600);
    Since = new QDateEdit(QDate::currentDate(), this);
    Since->setCalendarPopup(true);
    Since->setDisplayFormat("yyyy-MM-dd");
    auto* refreshButton = new QPushButton(Text(Own::LogRefresh), this);
    auto* exportButton = new QPushButton(Text(Own::LogExportCsv), this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(Text(Own::LogSinceLabel), this));
    top->addWidget(Since);
    top->addWidget(refreshButton);
    top->addStretch(1);
    top->addWidget(exportButton);

    Summary = new QPlainTextEdit(this);
    Summary->setReadOnly(true);
    Summary->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Rows = new QTableWidget(this);
    Rows->setColumnCount(9);
    QStringList headers;
    for (const int id : {Own::ColumnTime, Own::ColumnHost, Own::ColumnProgrammer, Own::ColumnChip,
                         Own::ColumnCommand, Own::ColumnFile, Own::ColumnResult, Own::ColumnAddress,
                         Own::ColumnSerial}) {
        headers << Text(id);
    }
    Rows->setHorizontalHeaderLabels(headers);
    Rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Rows->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Summary, 2);
    layout->addWidget(Rows, 3);

    connect(refreshButton, &QPushButton::clicked, this, &ProductionLogView::refresh);
    connect(Since, &QDateEdit::dateChanged, this, &ProductionLogView::refresh);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const std::string path = CurrentPrompts().chooseSaveFile(
            Text(Own::LogExportCsv).remove("...").toStdString(), "CSV (*.csv)");
        if (!path.empty()) {
            exportCsv(path);
        }
    });
    refresh();
}

std::string ProductionLogView::since() const {
    return Since->date().toString("yyyy-MM-dd").toStdString() + "T00:00:00.000Z";
}

void ProductionLogView::refresh() {
    std::string why;
    LogStore* store = Line.store(why);
    const auto summary = store ? store->summary(since()) : std::nullopt;
    const auto rows = store ? store->rows(since()) : std::nullopt;
    if (!summary || !rows) {
        Summary->setPlainText(QString::fromStdString(
            FormatMessage(Own::LogOpenFailed, {store ? store->error() : why})));
        Rows->setRowCount(0);
        return;
    }
    Summary->setPlainText(QString::fromStdString(SummaryText(*summary)));
    Rows->setRowCount(int(rows->size()));
    // Newest first, as in the window's log pane.
    int at = 0;
    for (auto r = rows->rbegin(); r != rows->rend(); ++r, ++at) {
        const std::string programmer =
            r->device + (r->deviceSerial.empty() ? "" : " (" + r->deviceSerial + ")");
        const std::string cells[] = {
            r->time,       r->host, programmer, r->chip,
            r->command,    r->file, r->result,  AddressText(r->failureAddress),
            SerialText(*r)};
        for (int c = 0; c < 9; ++c) {
            Rows->setItem(at, c, new QTableWidgetItem(QString::fromStdString(cells[c])));
        }
    }
    Rows->resizeColumnsToContents();
}

bool ProductionLogView::exportCsv(const std::string& path) {
    std::string why;
    LogStore* store = Line.store(why);
    const auto rows = store ? store->rows(since()) : std::nullopt;
    if (!rows) {
        CurrentPrompts().showError(
            FormatMessage(Own::LogOpenFailed, {store ? store->error() : why}));
        return false;
    }
    const std::string csv = RowsCsv(*rows);
    if (!SaveWholeFile(path, csv.data(), csv.size())) {
        CurrentPrompts().showError(path + ": " + Message(Msg::WriteFileError));
        return false;
    }
    return true;
}

} // namespace vantor
