#pragma once
// Where everything vantor-cli says goes. Human text by default: results on
// stdout, errors, warnings and notes on stderr. --quiet keeps errors and
// warnings only. --json keeps stdout for one JSON object per command that
// holds the same facts (and every message) for scripts.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vantor {

class CliReport {
public:
    enum class Mode { Human, Quiet, Json };

    explicit CliReport(Mode mode = Mode::Human, std::FILE* out = stdout, std::FILE* err = stderr);

    Mode mode() const { return TheMode; }
    // Progress bars and lines, question echoes, notes: not under --quiet.
    bool chatty() const { return TheMode != Mode::Quiet; }

    // A result worth keeping ("Write Complete!"): stdout, unless quiet or JSON.
    void result(const std::string& text);
    // "vantor-cli: TEXT" on stderr in every mode.
    void error(const std::string& text);
    // A warning: stderr in every mode (it may decide a script's next step).
    void warning(const std::string& text);
    // Anything else worth a line on stderr, unless quiet.
    void note(const std::string& text);

    // Facts of the JSON object, in the order first set; a later value
    // replaces an earlier one.
    void set(const std::string& key, const std::string& text);
    void set(const std::string& key, std::int64_t number);
    void setRaw(const std::string& key, std::string json);
    // A word for what happened ("completed", "no-programmer" ...); the exit
    // status gives one otherwise.
    void setResult(const std::string& word) { ResultWord = word; }

    // Ends the command: with --json prints the object. Returns `exitStatus`.
    int finish(int exitStatus);

    // `text` as a JSON string, quotes included; bytes that are not UTF-8
    // become U+FFFD.
    static std::string Quote(const std::string& text);

private:
    void keep(const char* level, const std::string& text);

    Mode TheMode;
    std::FILE* Out;
    std::FILE* Err;
    std::chrono::steady_clock::time_point Started;
    std::vector<std::pair<std::string, std::string>> Fields; // key, JSON value
    std::vector<std::pair<const char*, std::string>> Messages;
    std::string ResultWord;
};

} // namespace vantor
