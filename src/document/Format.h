#pragma once
#include <cstdio>
#include <string>

namespace tarnival {

// printf formatting into a string, for the program's fixed message texts.
template <typename... Args> std::string formatText(const char* format, Args... args) {
    int n = std::snprintf(nullptr, 0, format, args...);
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

} // namespace tarnival
