#include "platform/LimitSetting.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

std::chrono::milliseconds limitSetting(const char* variable, std::chrono::milliseconds standard) {
    const char* text = std::getenv(variable);
    if (!text) return standard;
    const char* end = text + std::strlen(text);
    int milliseconds = 0;
    const auto [stop, error] = std::from_chars(text, end, milliseconds);
    if (error != std::errc() || stop != end || stop == text || milliseconds <= 0) return standard;
    return std::chrono::milliseconds(milliseconds);
}
