#include "production/LogReport.h"

#include "core/MessageTable.h"
#include "link/ChipEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace vantor {
namespace {

using Table = std::vector<std::vector<std::string>>;

// Columns padded to their widest cell, two blanks apart, under a heading.
std::string TableText(const std::string& heading, const Table& rows) {
    std::string out = heading + "\n";
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        std::string line = " ";
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += " " + row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - row[i].size() + 1, ' ');
            }
        }
        out += line + "\n";
    }
    return out;
}

std::string Or(const std::string& text, const char* none = "-") {
    return text.empty() ? none : text;
}

std::string Programmer(const std::string& host, const std::string& device,
                       const std::string& serial) {
    return host + " " + Or(device) + (serial.empty() ? "" : " (" + serial + ")");
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QJsonValue Number(const std::optional<std::uint32_t>& v) {
    return v ? QJsonValue(qint64(*v)) : QJsonValue();
}

std::string CsvCell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

std::string Hex8(const std::optional<std::uint32_t>& v) {
    if (!v) {
        return {};
    }
    char text[12];
    std::snprintf(text, sizeof text, "%08X", unsigned(*v));
    return text;
}

template <typename T> std::string Decimal(const std::optional<T>& v) {
    return v ? std::to_string(*v) : std::string();
}

} // namespace

std::string YieldText(std::int64_t passed, std::int64_t total) {
    if (total <= 0) {
        return "-";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * double(passed) / double(total));
    return text;
}

std::string SerialText(const LogRow& row) {
    const auto number = row.serial ? row.serial : row.serialRead;
    if (!number) {
        return {};
    }
    const auto field = SerialField::parse(row.serialField);
    return field ? field->show(*number) : std::to_string(*number);
}

std::string AddressText(const std::optional<std::uint32_t>& address) {
    return address ? HexAddressText(*address) : std::string();
}

std::string SummaryText(const LogSummary& s) {
    if (s.counts.empty()) {
        return Message(Own::LogNoRows) + "\n";
    }
    Table totals;
    for (const LogCount& c : s.counts) {
        totals.push_back({c.chip, Or(c.file), c.result, std::to_string(c.count)});
    }
    Table yields;
    for (const LogYield& y : s.yields) {
        yields.push_back({Programmer(y.host, y.device, y.deviceSerial),
                          std::to_string(y.passed) + "/" + std::to_string(y.total),
                          YieldText(y.passed, y.total)});
    }
    Table failures;
    for (const LogRow& r : s.lastFailures) {
        failures.push_back({r.time, Programmer(r.host, r.device, r.deviceSerial), r.command, r.chip,
                            Or(r.file), r.result, Or(AddressText(r.failureAddress)),
                            Or(SerialText(r))});
    }
    std::string out = TableText(Message(Own::LogTotalsHeading), totals) + "\n" +
                      TableText(Message(Own::LogYieldsHeading), yields);
    if (!failures.empty()) {
        out += "\n" + TableText(Message(Own::LogFailuresHeading), failures);
    }
    return out;
}

std::string SummaryJson(const LogSummary& s) {
    QJsonArray totals;
    for (const LogCount& c : s.counts) {
        totals.append(QJsonObject{{"chip", Q(c.chip)},
                                  {"file", Q(c.file)},
                                  {"result", Q(c.result)},
                                  {"count", qint64(c.count)}});
    }
    QJsonArray yields;
    for (const LogYield& y : s.yields) {
        yields.append(QJsonObject{{"host", Q(y.host)},
                                  {"device", Q(y.device)},
                                  {"device_serial", Q(y.deviceSerial)},
                                  {"passed", qint64(y.passed)},
                                  {"total", qint64(y.total)}});
    }
    QJsonArray failures;
    for (const LogRow& r : s.lastFailures) {
        failures.append(QJsonObject{{"time", Q(r.time)},
                                    {"host", Q(r.host)},
                                    {"device", Q(r.device)},
                                    {"command", Q(r.command)},
                                    {"chip", Q(r.chip)},
                                    {"file", Q(r.file)},
                                    {"result", Q(r.result)},
                                    {"failure_address", Number(r.failureAddress)},
                                    {"serial", Q(SerialText(r))}});
    }
    const QJsonObject all{{"totals", totals}, {"yields", yields}, {"failures", failures}};
    return QJsonDocument(all).toJson(QJsonDocument::Compact).toStdString();
}

std::string RowsCsv(const std::vector<LogRow>& rows) {
    std::string out = "id,time,host,device,device_serial,chip,chip_id,command,file,file_size,"
                      "file_crc32,image_crc32,serial_field,serial,serial_read,result,"
                      "failure_address,duration_s,version\r\n";
    for (const LogRow& r : rows) {
        char seconds[32] = "";
        if (r.seconds) {
            std::snprintf(seconds, sizeof seconds, "%.3f", *r.seconds);
        }
        const std::vector<std::string> cells = {std::to_string(r.id),
                                                r.time,
                                                r.host,
                                                r.device,
                                                r.deviceSerial,
                                                r.chip,
                                                r.chipId,
                                                r.command,
                                                r.file,
                                                Decimal(r.fileSize),
                                                Hex8(r.fileCrc32),
                                                Hex8(r.imageCrc32),
                                                r.serialField,
                                                Decimal(r.serial),
                                                Decimal(r.serialRead),
                                                r.result,
                                                AddressText(r.failureAddress),
                                                seconds,
                                                r.version};
        std::string line;
        for (const std::string& cell : cells) {
            line += (line.empty() ? "" : ",") + CsvCell(cell);
        }
        out += line + "\r\n";
    }
    return out;
}

} // namespace vantor
