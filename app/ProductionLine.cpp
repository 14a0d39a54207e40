#include "app/ProductionLine.h"

#include "app/MainWindow.h"
#include "app/MainWindowHost.h"
#include "app/ProductionDialogs.h"
#include "app/StatusBar.h"
#include "buffer/Checksum.h"
#include "core/IniFile.h"
#include "core/MessageTable.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

namespace vantor {

namespace {

constexpr const char* kSection = "Production";

QString Text(int id) {
    return QString::fromStdString(Message(id));
}

} // namespace

ProductionLine::ProductionLine(MainWindow& form) : QObject(&form), Form(form) {
    setObjectName("ProductionLine");
    LogMenu = new QMenu(&form);
    LogMenu->setObjectName("LogMenu");
    form.menuBar()->insertMenu(form.H1->menuAction(), LogMenu);
    LogStoreItem = LogMenu->addAction(QString());
    LogStoreItem->setObjectName("LogStoreItem");
    ProductionLogItem = LogMenu->addAction(QString());
    ProductionLogItem->setObjectName("ProductionLogItem");
    // Changing the store or reading it during a command would race the row.
    LogStoreItem->setProperty("lockedWhileBusy", true);
    connect(LogStoreItem, &QAction::triggered, this, &ProductionLine::askLogTarget);
    connect(ProductionLogItem, &QAction::triggered, this, [this] {
        ProductionLogView view(*this, &Form);
        view.exec();
    });
    connect(LogMenu, &QMenu::aboutToShow, this, &ProductionLine::retranslate);

    auto* autoBox = qobject_cast<QGridLayout*>(form.GroupBox2->layout());
    SerialCheck = new QCheckBox(form.GroupBox2);
    SerialCheck->setObjectName("SerialCheck");
    SerialButton = new QToolButton(form.GroupBox2);
    SerialButton->setObjectName("SerialButton");
    SerialButton->setText("...");
    SerialNext = new QLabel(form.GroupBox2);
    SerialNext->setObjectName("SerialNext");
    autoBox->addWidget(SerialCheck, 3, 0, 1, 2);
    autoBox->addWidget(SerialNext, 4, 0);
    autoBox->addWidget(SerialButton, 4, 1, Qt::AlignRight);
    connect(SerialButton, &QToolButton::clicked, this, &ProductionLine::askSerial);
    connect(SerialCheck, &QCheckBox::toggled, this, [this] {
        saveSettings();
        showNextSerial();
    });

    Counter = new QLabel(form.StatusBar1);
    Counter->setObjectName("ProductionCounter");
    Counter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    IniFile ini;
    ini.load(form.Places().settings);
    Target = ini.value(kSection, "LogStore", "");
    const auto field = SerialField::parse(ini.value(kSection, "SerialField", ""));
    if (field) {
        Series = SerialSeries{
            *field, ParseSerialNumber(ini.value(kSection, "SerialStart", "1")).value_or(1),
            ParseSerialNumber(ini.value(kSection, "SerialStep", "1")).value_or(1)};
    }
    {
        const QSignalBlocker quiet(SerialCheck);
        SerialCheck->setChecked(Series && ini.value(kSection, "SerialOn", "0") == "1");
    }
    form.installEventFilter(this); // a language change retranslates
    retranslate();
}

ProductionLine::~ProductionLine() = default;

bool ProductionLine::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
    }
    return QObject::eventFilter(watched, event);
}

void ProductionLine::retranslate() {
    LogMenu->setTitle(Text(Own::LogMenu));
    LogStoreItem->setText(Text(Own::LogStoreItem));
    ProductionLogItem->setText(Text(Own::ProductionLogItem));
    SerialCheck->setText(Text(Own::SerialBox));
    SerialButton->setToolTip(Text(Own::SerialFieldLabel));
    Counter->setText(Target.empty()
                         ? Text(Own::LogStoreOff)
                         : QString::fromStdString(FormatMessage(
                               Own::LogCounter, {std::to_string(Passed), std::to_string(Failed)})));
    Form.FormResize(); // the counter's width follows its words
    showNextSerial();
}

int ProductionLine::placeCounter(int right) {
    // As wide as its words, left of the insert mode panel, so the two never
    // overlap; the difference count goes left of it.
    const int width = std::min(Counter->fontMetrics().horizontalAdvance(Counter->text()) + 12,
                               std::max(0, right));
    Counter->setGeometry(right - width, 0, width, Form.StatusBar1->height());
    Counter->lower(); // under the progress bar while a command runs
    return right - width;
}

bool ProductionLine::serialOn() const {
    return Series && SerialCheck->isChecked();
}

void ProductionLine::showNextSerial() {
    QString text;
    std::string why;
    if (serialOn() && !Target.empty()) {
        LogStore* log = store(why);
        const auto next = log ? log->peekSerial(*Series) : std::nullopt;
        text = next ? QString::fromStdString(
                          FormatMessage(Own::SerialNext, {Series->field.show(*next)}))
                    : QString::fromStdString(log ? log->error() : why);
    } else if (serialOn()) {
        text = Text(Own::SerialNeedsLog);
    }
    SerialNext->setText(text);
    SerialNext->setVisible(!text.isEmpty());
}

LogStore* ProductionLine::store(std::string& why) {
    if (Target.empty()) {
        why.clear();
        return nullptr;
    }
    if (!Store || StoreTarget != Target) {
        Store.reset();
        Store = OpenLogStore(Target, why);
        StoreTarget = Target;
    }
    return Store.get();
}

void ProductionLine::setLogTarget(const std::string& target) {
    Target = target;
    Store.reset();
    saveSettings();
    retranslate();
}

void ProductionLine::setSerialSeries(const std::optional<SerialSeries>& series) {
    Series = series;
    saveSettings();
    showNextSerial();
}

void ProductionLine::saveSettings() const {
    IniFile ini;
    const std::string& path = Form.Places().settings;
    ini.load(path);
    ini.setValue(kSection, "LogStore", Target);
    ini.setValue(kSection, "SerialField", Series ? Series->field.key() : "");
    ini.setValue(kSection, "SerialStart", Series ? std::to_string(Series->start) : "1");
    ini.setValue(kSection, "SerialStep", Series ? std::to_string(Series->step) : "1");
    ini.setValue(kSection, "SerialOn", SerialCheck->isChecked() ? "1" : "0");
    if (!Form.Places().portable) {
        CreateParentFolders(path);
    }
    ini.save(path);
}

void ProductionLine::askLogTarget() {
    if (const auto target = AskLogTarget(&Form, Target)) {
        setLogTarget(*target);
        std::string why;
        if (!Target.empty() && store(why) == nullptr) {
            Form.ShowError(QString::fromStdString(FormatMessage(Own::LogOpenFailed, {why})));
        }
    }
}

void ProductionLine::askSerial() {
    SerialDialog dialog(Series, &Form);
    if (dialog.exec() == QDialog::Accepted) {
        setSerialSeries(dialog.series());
        SerialCheck->setChecked(Series.has_value());
    }
}

SerialUse ProductionLine::serialUse(const char* command) const {
    if (!serialOn()) {
        return SerialUse::None;
    }
    const std::string name = command;
    if (name == "auto" && Form.CheckBox2->isChecked()) {
        return SerialUse::Write;
    }
    const bool verifies = name == "verify" || (name == "auto" && Form.CheckBox3->isChecked());
    return verifies ? SerialUse::Check : SerialUse::None;
}

OperationStart ProductionLine::startFor(const char* command) const {
    const ChipRecord& chip = Form.CurrentChip();
    OperationStart s = StartOfCommand(command, NameTextUtf8(chip), chip.ChipId);
    const std::string name = command;
    if (name == "write" || name == "verify" || name == "auto") {
        // The window's buffer stands for the file it was loaded from.
        const auto used = std::min<std::uint64_t>(
            std::uint64_t(std::max(Form.Buffer.UsedLength, 0)), chip.FlashSize);
        s.fileSize = std::int64_t(used);
        s.fileCrc32 = Crc32(Form.Buffer.data(), std::size_t(used));
    }
    s.serial = Series;
    return s;
}

void ProductionLine::count(CommandResult result) {
    switch (result) {
    case CommandResult::Completed:
        ++Passed;
        break;
    case CommandResult::CheckFailed:
    case CommandResult::Protected:
    case CommandResult::TransferFailed:
    case CommandResult::Stopped:
    case CommandResult::NoChip:
        ++Failed;
        break;
    default:
        return; // nothing reached a chip
    }
    retranslate();
}

CommandResult ProductionLine::run(const char* command,
                                  const std::function<CommandResult()>& operation) {
    const SerialUse use = serialUse(command);
    if (Form.ChipCommandBusy()) {
        return operation(); // refused there; no row for a command that never ran
    }
    if (Target.empty()) {
        if (use == SerialUse::Write) {
            Form.ShowError(Text(Own::SerialNeedsLog));
            return CommandResult::Refused;
        }
        const CommandResult result = operation();
        count(result);
        return result;
    }
    std::string why;
    LogStore* log = store(why);
    if (log == nullptr) {
        Form.ShowError(QString::fromStdString(FormatMessage(Own::LogOpenFailed, {why})));
        return CommandResult::Refused;
    }
    Form.SyncBufferFromEditor();
    const std::string name = command;
    ProductionRun row(*log);
    if (!row.start(startFor(command), use,
                   ChipImage{Form.Buffer.data(), Form.Buffer.UsedLength,
                             Form.CurrentChip().FlashSize, name == "write" || name == "auto"})) {
        Form.ShowError(QString::fromStdString(FormatMessage(Own::LogRefused, {row.why()})));
        return CommandResult::Refused;
    }
    if (row.serial()) {
        Form.RefreshHexView(); // the pane shows what goes to the chip
        Form.LogLine(QString::fromStdString(FormatMessage(
            Own::SerialWritten, {Series->field.show(*row.serial()), Series->field.key()})));
    }
    std::optional<SerialReadBack> readBack;
    ChipEngine& engine = Form.ChipHost().Engine;
    if (use == SerialUse::Check) {
        readBack.emplace(Series->field, Form.Buffer.data());
        engine.BeforeCompare = [&readBack](std::uint32_t address, const std::uint8_t* chip,
                                           std::uint32_t count) {
            readBack->take(address, chip, count);
        };
    }
    CommandResult result = operation();
    engine.BeforeCompare = nullptr;
    OperationEnd end = EndOfCommand(result, engine, Form.UsbLink);
    if (readBack && result == CommandResult::Completed) {
        end.serial = readBack->value();
        if (!end.serial) {
            result = CommandResult::CheckFailed;
            end.result = CommandResultWord(result);
            Form.ShowError(
                QString::fromStdString(FormatMessage(Own::SerialNotOnChip, {Series->field.key()})));
        } else {
            Form.LogLine(QString::fromStdString(
                FormatMessage(Own::SerialOnChip, {Series->field.show(*end.serial)})));
        }
    }
    if (!row.finish(end)) {
        Form.ShowError(QString::fromStdString(FormatMessage(Own::LogNotCompleted, {row.why()})));
    }
    count(result);
    showNextSerial();
    return result;
}

} // namespace vantor
