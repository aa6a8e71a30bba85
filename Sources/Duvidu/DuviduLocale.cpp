#include "Duvidu/DuviduLocale.h"

#include <langinfo.h>
#include <locale.h>

#include <ctime>
#include <mutex>
#include <string_view>

namespace duvidu {

namespace {

bool containsMarker(std::string_view text, std::string_view marker)
{
    // An empty marker (a locale without AM/PM) never counts as found.
    return !marker.empty() && text.find(marker) != std::string_view::npos;
}

// The C library loads a named locale's data once and shares it between the locale objects made from it, guarded by a
// lock of its own that ThreadSanitizer cannot see; making and freeing them one thread at a time keeps its reports
// meaningful, at no cost worth counting (once per event).
std::mutex g_localeMutex;

}  // namespace

bool duvidu_timeIs24HourFormat(const std::string& localeName)
{
    const std::lock_guard<std::mutex> hold(g_localeMutex);
    locale_t locale = newlocale(LC_TIME_MASK, localeName.c_str(), static_cast<locale_t>(nullptr));
    if (!locale) locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    if (!locale) return true;

    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char buffer[128] = {};
    strftime_l(buffer, sizeof buffer, "%X", &parts, locale);
    std::string am = nl_langinfo_l(AM_STR, locale);
    std::string pm = nl_langinfo_l(PM_STR, locale);
    freelocale(locale);
    return !containsMarker(buffer, am) && !containsMarker(buffer, pm);
}

}  // namespace duvidu
