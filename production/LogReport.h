#pragma once
// The production log as people and scripts read it: the day's totals,
// yields and last failures as text or JSON, the rows as CSV.
#include "production/LogStore.h"

#include <string>
#include <vector>

namespace vantor {

// Headings in the current language; the columns in the log's own words.
std::string SummaryText(const LogSummary& summary);
// {"totals":[...],"yields":[...],"failures":[...]}: the values of the
// --json object's "log" key.
std::string SummaryJson(const LogSummary& summary);
// Every column of every row, a header line first (RFC 4180 quoting).
std::string RowsCsv(const std::vector<LogRow>& rows);

// "12.5%" of `passed` in `total`; "-" for none.
std::string YieldText(std::int64_t passed, std::int64_t total);
// A row's serial number as its field shows it ("1001", "0x3E9"), or "".
std::string SerialText(const LogRow& row);
// "1F00h", as addresses are shown everywhere; "" for none.
std::string AddressText(const std::optional<std::uint32_t>& address);

} // namespace vantor
