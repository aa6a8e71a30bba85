#include "Duvidu/DuviduDateExtras.h"

#include <cstdio>
#include <ctime>

namespace duvidu {

namespace {

bool readDigits(std::string_view text, size_t at, size_t count, int& out)
{
    if (at + count > text.size()) return false;
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    out = value;
    return true;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Strict parse of "yyyy-MM-ddTHH:mm:ss" followed by ".SSSZ" (withMillis) or "Z".
std::optional<DuviduDate> parse(std::string_view text, bool withMillis)
{
    const size_t expected = withMillis ? 24 : 20;
    if (text.size() != expected) return std::nullopt;
    int year, month, day, hour, minute, second, millis = 0;
    if (!readDigits(text, 0, 4, year) || text[4] != '-' || !readDigits(text, 5, 2, month) || text[7] != '-' ||
        !readDigits(text, 8, 2, day) || text[10] != 'T' || !readDigits(text, 11, 2, hour) || text[13] != ':' ||
        !readDigits(text, 14, 2, minute) || text[16] != ':' || !readDigits(text, 17, 2, second))
        return std::nullopt;
    size_t zAt = 19;
    if (withMillis) {
        if (text[19] != '.' || !readDigits(text, 20, 3, millis)) return std::nullopt;
        zAt = 23;
    }
    if (text[zAt] != 'Z') return std::nullopt;
    static constexpr int daysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return std::nullopt;
    int maxDay = daysInMonth[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
    if (day > maxDay || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    std::time_t seconds = timegm(&parts);
    // A date holds nanoseconds since 1970 in 64 bits (about the years 1678 to 2262); a text outside that span would
    // wrap around to an unrelated date.
    using Seconds = std::chrono::duration<std::time_t>;
    constexpr auto kEarliest = std::chrono::floor<Seconds>(DuviduDate::min().time_since_epoch()).count() + 1;
    constexpr auto kLatest = std::chrono::floor<Seconds>(DuviduDate::max().time_since_epoch()).count() - 1;
    if (seconds < kEarliest || seconds > kLatest) return std::nullopt;
    return DuviduDate(std::chrono::seconds(seconds)) + std::chrono::milliseconds(millis);
}

}  // namespace

std::string duvidu_toIso8601String(DuviduDate date)
{
    auto millis = std::chrono::floor<std::chrono::milliseconds>(date.time_since_epoch()).count();
    auto seconds = static_cast<std::time_t>(millis >= 0 ? millis / 1000 : (millis - 999) / 1000);
    int fraction = static_cast<int>(millis - static_cast<int64_t>(seconds) * 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, fraction);
    return buffer;
}

std::optional<DuviduDate> duvidu_fromIso8601String(std::string_view text)
{
    if (auto date = parse(text, true)) return date;
    return parse(text, false);
}

}  // namespace duvidu
