#pragma once
// The production line's dialogs: the log store, the serial number field,
// and the Log -> Production log view (summary, rows, CSV export).
#include "production/SerialNumber.h"

#include <QDialog>
#include <optional>
#include <string>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace vantor {

class ProductionLine;

// The store's file or URL; nullopt when cancelled, "" for no log.
std::optional<std::string> AskLogTarget(QWidget* parent, const std::string& current);

class SerialDialog : public QDialog {
    Q_OBJECT
public:
    SerialDialog(const std::optional<SerialSeries>& series, QWidget* parent);
    // What the fields say; nullopt (and the reason shown) when they do not parse.
    std::optional<SerialSeries> series() const { return Series; }

private:
    void check();

    QLineEdit *Field, *Start, *Step;
    QLabel* Why;
    std::optional<SerialSeries> Series;
};

class ProductionLogView : public QDialog {
    Q_OBJECT
public:
    ProductionLogView(ProductionLine& line, QWidget* parent);
    void refresh();
    // The shown rows as CSV into `path`; false when it cannot be written.
    bool exportCsv(const std::string& path);

    QDateEdit* Since;
    QPlainTextEdit* Summary;
    QTableWidget* Rows;

private:
    std::string since() const;

    ProductionLine& Line;
};

} // namespace vantor
