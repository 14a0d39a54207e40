#pragma once
#include <string>

namespace vantor {

// Numbers the log lines: "001:", "010:", "1000:". One counter serves every
// command and the connection lines, so numbers never repeat in a run.
class LogNumbering {
public:
    // The prefix for the next line; advances the counter.
    std::string NextLogPrefix();
    int counter() const { return LogCounter; }

private:
    int LogCounter = 1;
};

} // namespace vantor
