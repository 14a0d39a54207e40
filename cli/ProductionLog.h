#pragma once
// vantor-cli on a production line: --log-db and the row every chip command
// writes around itself (opened before the chip is touched, completed
// after), --serial with its start and step, and the log command.
#include "link/ChipCommands.h"
#include "production/LogStore.h"
#include "production/ProductionRun.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace vantor {

class CliReport;
struct ChipJob;
struct CommandSpec;

struct ProductionOptions {
    std::string logDb;                 // --log-db FILE|URL
    std::optional<SerialField> serial; // --serial ADDR:WIDTH:FORMAT
    std::uint64_t serialStart = 1;     // --serial-start N
    std::uint64_t serialStep = 1;      // --serial-step K
    bool serialNumbersGiven = false;
    std::string since; // log --since DATE, as the log compares it
    bool csv = false;  // log --csv
};

// Takes --log-db, --serial, --serial-start, --serial-step, --since and --csv
// (`value` fetches an option's value, `flag` refuses one); false for other
// names. A value that does not parse gives its usage error in `error`.
bool ParseProductionOption(const std::string& name, const std::function<std::string()>& value,
                           const std::function<void()>& flag, ProductionOptions& options,
                           std::string& error);
// Empty when the options suit `command`, else the usage error to show.
std::string ProductionOptionMisuse(const CommandSpec& command, const ProductionOptions& options);

// vantor-cli log: the totals, yields and last failures, or the rows as CSV.
int RunLogCommand(const ProductionOptions& options, CliReport& report);

// The log row of one chip command. Without --log-db every call is a no-op.
class ChipLog {
public:
    ChipLog(const ProductionOptions& options, std::string command)
        : Options(options), Command(std::move(command)) {}
    // Opens the store; false (said) when it cannot be.
    bool open(CliReport& report);
    // Before the chip is touched: the row, the serial number in the image,
    // a verify's read-back of the chip's own number. False (said) when the
    // command must not start.
    bool before(ChipJob& job);
    // After: the chip's own number checked, the row completed. The result
    // the command ends with.
    CommandResult after(ChipJob& job, CommandResult result);

private:
    const ProductionOptions& Options;
    std::string Command;
    std::unique_ptr<LogStore> Store;
    std::optional<ProductionRun> Run;
    std::optional<SerialReadBack> ReadBack;
};

} // namespace vantor
