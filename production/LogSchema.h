#pragma once
// The production log's schema file, cut into the steps that migrate a store
// from one version to the next.
#include <string>
#include <vector>

namespace vantor {

struct SchemaStep {
    int version = 0; // the version a store has after this step
    std::vector<std::string> statements;
};

// Cuts `text` at its "-- version N" lines (N counting up from 1) into
// statements ending with ";" at a line's end; comment lines are dropped and
// "{key}" becomes `keyColumn`. Throws std::runtime_error for a file out of
// order, so a broken schema never reaches a store.
std::vector<SchemaStep> ParseSchema(const std::string& text, const std::string& keyColumn);

// The compiled-in schema for SQLite or PostgreSQL.
std::vector<SchemaStep> LogSchemaSteps(bool postgres);

} // namespace vantor
