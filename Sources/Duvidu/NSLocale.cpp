#include "Duvidu/NSLocale.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/uloc.h>
#include <unicode/unistr.h>

#include <array>
#include <cstdlib>

#include "Duvidu/DuviduLocale.h"

namespace duvidu {

namespace {

std::string environmentLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return "C";
}

icu::Locale icuLocale(const std::string& localeIdentifier)
{
    return icu::Locale(localeIdentifier.c_str());
}

std::optional<std::string> utf8(const icu::UnicodeString& text)
{
    if (text.isBogus() || text.isEmpty()) return std::nullopt;
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace

NSLocale::NSLocale(std::string posixName) : posixName_(std::move(posixName)) {}

std::shared_ptr<const NSLocale> NSLocale::autoupdatingCurrentLocale()
{
    static const std::shared_ptr<const NSLocale> current(new NSLocale());
    return current;
}

std::string NSLocale::posixName() const
{
    return posixName_ ? *posixName_ : environmentLocaleName();
}

std::string NSLocale::localeIdentifierForPosixName(const std::string& posixName)
{
    // language[_territory][.codeset][@modifier]
    std::string identifier = posixName.substr(0, posixName.find_first_of(".@"));
    if (identifier.empty() || identifier == "C" || identifier == "POSIX") return "en_US_POSIX";
    return identifier;
}

std::string NSLocale::localeIdentifier() const
{
    return localeIdentifierForPosixName(posixName());
}

std::optional<std::string> NSLocale::calendarIdentifier() const
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(icuLocale(localeIdentifier()), status));
    if (U_FAILURE(status) || !calendar) return std::nullopt;
    return std::string(calendar->getType());
}

std::optional<std::string> NSLocale::localizedStringForLocaleIdentifier(const std::string& localeIdentifier) const
{
    icu::UnicodeString name;
    icuLocale(localeIdentifier).getDisplayName(icuLocale(this->localeIdentifier()), name);
    return utf8(name);
}

std::optional<std::string> NSLocale::localizedStringForCalendarIdentifier(const std::string& calendarIdentifier) const
{
    // ICU names keyword values through a locale that carries the keyword.
    std::string carrier = "und@calendar=" + calendarIdentifier;
    std::array<UChar, 256> buffer{};
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = uloc_getDisplayKeywordValue(carrier.c_str(), "calendar", localeIdentifier().c_str(),
                                                 buffer.data(), static_cast<int32_t>(buffer.size()), &status);
    if (U_FAILURE(status) || length <= 0) return std::nullopt;
    return utf8(icu::UnicodeString(buffer.data(), length));
}

bool NSLocale::timeIs24HourFormat() const
{
    return duvidu_timeIs24HourFormat(posixName());
}

}  // namespace duvidu
