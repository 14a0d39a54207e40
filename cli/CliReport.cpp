#include "cli/CliReport.h"

#include <algorithm>

namespace vantor {

namespace {

// Length of the valid UTF-8 sequence at `s[i]`, 0 when there is none.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    std::uint32_t lowest = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    std::uint32_t code = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < lowest || code > 0x10FFFF || surrogate ? 0 : length;
}

const char* WordFor(int exitStatus) {
    switch (exitStatus) {
    case 0:
        return "completed";
    case 2:
        return "bad-input";
    case 130:
        return "stopped";
    default:
        return "failed";
    }
}

} // namespace

CliReport::CliReport(Mode mode, std::FILE* out, std::FILE* err)
    : TheMode(mode), Out(out), Err(err), Started(std::chrono::steady_clock::now()) {}

std::string CliReport::Quote(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, i);
            out += length == 0 ? "\\ufffd" : text.substr(i, length);
            i += std::max<std::size_t>(length, 1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += char(c);
        }
        ++i;
    }
    return out + "\"";
}

void CliReport::keep(const char* level, const std::string& text) {
    Messages.emplace_back(level, text);
}

void CliReport::result(const std::string& text) {
    keep("result", text);
    if (TheMode == Mode::Human) {
        std::fprintf(Out, "%s\n", text.c_str());
        std::fflush(Out);
    }
}

void CliReport::error(const std::string& text) {
    keep("error", text);
    std::fprintf(Err, "vantor-cli: %s\n", text.c_str());
    std::fflush(Err);
}

void CliReport::warning(const std::string& text) {
    keep("warning", text);
    std::fprintf(Err, "vantor-cli: %s\n", text.c_str());
    std::fflush(Err);
}

void CliReport::note(const std::string& text) {
    keep("note", text);
    if (chatty()) {
        std::fprintf(Err, "%s\n", text.c_str());
        std::fflush(Err);
    }
}

void CliReport::setRaw(const std::string& key, std::string json) {
    for (auto& field : Fields) {
        if (field.first == key) {
            field.second = std::move(json);
            return;
        }
    }
    Fields.emplace_back(key, std::move(json));
}

void CliReport::set(const std::string& key, const std::string& text) {
    setRaw(key, Quote(text));
}

void CliReport::set(const std::string& key, std::int64_t number) {
    setRaw(key, std::to_string(number));
}

int CliReport::finish(int exitStatus) {
    if (TheMode != Mode::Json) {
        return exitStatus;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
    std::string json = "{";
    for (const auto& [key, value] : Fields) {
        json += Quote(key) + ":" + value + ",";
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", seconds);
    json += "\"result\":" + Quote(ResultWord.empty() ? WordFor(exitStatus) : ResultWord) +
            ",\"exit\":" + std::to_string(exitStatus) + ",\"time\":" + time + ",\"messages\":[";
    for (std::size_t i = 0; i < Messages.size(); ++i) {
        json += std::string(i == 0 ? "" : ",") + "{\"level\":" + Quote(Messages[i].first) +
                ",\"text\":" + Quote(Messages[i].second) + "}";
    }
    json += "]}";
    std::fprintf(Out, "%s\n", json.c_str());
    std::fflush(Out);
    return exitStatus;
}

} // namespace vantor
