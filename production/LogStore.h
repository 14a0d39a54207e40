#pragma once
// The production log: one row for every chip operation a line runs, and the
// serial number series it draws from. A row is opened before the chip is
// touched (a store that cannot take it refuses the operation) and completed
// after; a process that dies in between leaves its row saying "started",
// with its serial number spent.
//
// Writes are short transactions of their own, so several processes (gang
// programming) or several hosts (a PostgreSQL store) append at once without
// losing a row or sharing a serial number.
#include "production/SerialNumber.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantor {

// What is known of an operation before the chip is touched.
struct OperationStart {
    std::string time; // UTC, ISO 8601; now when empty
    std::string host;
    std::string chip; // "Type,Maker,Name"
    std::string chipId;
    std::string command;
    std::string file;
    std::optional<std::int64_t> fileSize;
    std::optional<std::uint32_t> fileCrc32;
    std::string version;
    // The series to draw this chip's serial number from, when it gets one.
    std::optional<SerialSeries> serial;
    // The field a verify reads the chip's own number from (no number drawn).
    std::optional<SerialField> serialChecked;
};

// What is known after: the words are those of vantor-cli --json.
struct OperationEnd {
    std::string result;
    std::optional<std::uint32_t> failureAddress;
    double seconds = 0;
    std::string device;       // BUS:DEV
    std::string deviceSerial; // the programmer's serial number string
    std::optional<std::uint32_t> imageCrc32;
    // The serial number found on the chip (a verify that reads it back).
    std::optional<std::uint64_t> serial;
};

struct LogRow {
    std::int64_t id = 0;
    std::string time; // when the operation started
    std::string host;
    std::string device;
    std::string deviceSerial;
    std::string chip;
    std::string chipId;
    std::string command;
    std::string file;
    std::optional<std::int64_t> fileSize;
    std::optional<std::uint32_t> fileCrc32;
    std::optional<std::uint32_t> imageCrc32;
    std::string serialField;                 // SerialField::key(), empty without one
    std::optional<std::uint64_t> serial;     // issued to the chip
    std::optional<std::uint64_t> serialRead; // found on it by a verify
    std::string result;                      // "started" until the operation ends
    std::optional<std::uint32_t> failureAddress;
    std::optional<double> seconds;
    std::string version;
};

struct LogCount {
    std::string chip;
    std::string file;
    std::string result;
    std::int64_t count = 0;
};

struct LogYield {
    std::string host;
    std::string device;
    std::string deviceSerial;
    std::int64_t passed = 0;
    std::int64_t total = 0;
};

struct LogSummary {
    std::vector<LogCount> counts; // per chip, file and result
    std::vector<LogYield> yields; // per programmer
    std::vector<LogRow> lastFailures;
};

class LogStore {
public:
    virtual ~LogStore() = default;

    // What the store is, for messages: the file or the URL without password.
    virtual std::string name() const = 0;

    // Opens the row (and reserves the serial number) in one transaction.
    // The row's id and the chip's serial number, or nullopt with error() set.
    struct Started {
        std::int64_t id = 0;
        std::optional<std::uint64_t> serial;
    };
    virtual std::optional<Started> begin(const OperationStart& start) = 0;
    // Completes the row `id`; false with error() set.
    virtual bool complete(std::int64_t id, const OperationEnd& end) = 0;

    // The number the next chip of `series` would get (nothing is reserved),
    // or nullopt when the series has run out or the store failed.
    virtual std::optional<std::uint64_t> peekSerial(const SerialSeries& series) = 0;

    // Rows from `since` on (an ISO 8601 date or time, UTC; every row when
    // empty), oldest first.
    virtual std::optional<std::vector<LogRow>> rows(const std::string& since) = 0;
    virtual std::optional<LogSummary> summary(const std::string& since,
                                              std::size_t lastFailures = 10) = 0;

    // Why the last call failed, in the words of the store.
    virtual const std::string& error() const = 0;
};

// Opens a store: a "postgresql://" (or "postgres://") URL, anything else a
// SQLite file, created when missing. The schema is migrated forward; a
// store made by a newer program is refused. Null with `why` set when the
// store cannot be opened or written.
std::unique_ptr<LogStore> OpenLogStore(const std::string& target, std::string& why);

// The current time as the log writes it: "2026-12-08T09:12:32.123Z".
std::string LogTimeNow();

// "--since" text to the form rows are compared in: a date "2026-12-08", a
// time "2026-12-08T09:00" or "2026-12-08 09:00:00"; nullopt for other text.
std::optional<std::string> NormalizeLogSince(const std::string& text);

} // namespace vantor
