#include "document/UserInterface.h"

#include <cstdio>

namespace tarnival {

std::string progressPercentText(int64_t position, int64_t low, int64_t high) {
    int64_t span = high - low;
    int64_t pct = span > 0 ? (position - low) * 100 / span : 0;
    if (pct != 100) pct %= 100;
    char text[32];
    std::snprintf(text, sizeof text, "%d%c", static_cast<int>(pct), '%');
    return text;
}

} // namespace tarnival
