#include "core/LogNumbering.h"

#include <cstdio>

namespace vantor {

std::string LogNumbering::NextLogPrefix() {
    char text[16];
    std::snprintf(text, sizeof text, "%03d:", LogCounter);
    ++LogCounter;
    return text;
}

} // namespace vantor
