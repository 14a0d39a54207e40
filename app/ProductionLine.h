#pragma once
// The main window on a production line: the Log menu (log store, production
// log view), the serial number in the Auto options with the next number
// shown, and the passed / failed counter in the status bar. The log itself,
// the serial numbers and the reports live in production/; this only wires
// them to the window's commands and widgets.
#include "link/ChipCommands.h"
#include "production/LogStore.h"
#include "production/ProductionRun.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QToolButton;

namespace vantor {

class MainWindow;

class ProductionLine : public QObject {
    Q_OBJECT
public:
    explicit ProductionLine(MainWindow& form);
    ~ProductionLine() override;

    // Runs a chip command, with a row in the log around it when a log is
    // kept: the row (and the serial number, for Auto with the serial box
    // ticked) comes before the chip is touched, so a store that refuses
    // stops the command first; the result goes in after.
    CommandResult run(const char* command, const std::function<CommandResult()>& operation);

    // The settings, kept in the settings file's [Production] section.
    const std::string& logTarget() const { return Target; }
    void setLogTarget(const std::string& target);
    const std::optional<SerialSeries>& serialSeries() const { return Series; }
    void setSerialSeries(const std::optional<SerialSeries>& series);
    bool serialOn() const;

    // Chips that passed and failed since the window opened.
    int passed() const { return Passed; }
    int failed() const { return Failed; }

    // The store, opened on first use; null with `why` set when it cannot be.
    LogStore* store(std::string& why);

    QMenu* LogMenu;
    QAction *LogStoreItem, *ProductionLogItem;
    QCheckBox* SerialCheck;
    QToolButton* SerialButton;
    QLabel* SerialNext;
    QLabel* Counter;

    void retranslate();
    // Puts the status-bar counter with its right edge at `right`; returns its
    // left edge.
    int placeCounter(int right);
    // "Next: 1001" under the serial box, from the store.
    void showNextSerial();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SerialUse serialUse(const char* command) const;
    OperationStart startFor(const char* command) const;
    void count(CommandResult result);
    void saveSettings() const;
    void askLogTarget();
    void askSerial();

    MainWindow& Form;
    std::string Target;
    std::optional<SerialSeries> Series;
    std::unique_ptr<LogStore> Store;
    std::string StoreTarget; // what Store was opened for
    int Passed = 0;
    int Failed = 0;
};

} // namespace vantor
