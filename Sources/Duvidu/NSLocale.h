#pragma once

#include <memory>
#include <optional>
#include <string>

namespace duvidu {

// A locale as the SDK describes it in reports: its identifier, calendar and display names (from ICU) and whether
// its time format is 24-hour (from the C library's locale data). Made from a POSIX locale name such as
// "de_DE.UTF-8"; "C" and "POSIX" are the identifier "en_US_POSIX".
class NSLocale {
public:
    explicit NSLocale(std::string posixName);
    // The user's locale, read anew from the environment (LC_ALL, else LC_MESSAGES, else LANG, else "C") at every
    // call, so that it follows changes while the process runs.
    static std::shared_ptr<const NSLocale> autoupdatingCurrentLocale();

    // "de_DE" for "de_DE.UTF-8": the language and region without code set or modifier.
    std::string localeIdentifier() const;
    // The identifier of the locale's calendar ("gregorian", "buddhist", ...); none when ICU has no calendar for it.
    std::optional<std::string> calendarIdentifier() const;
    // The display name of a locale identifier, in this locale's language; none when ICU knows no name for it.
    std::optional<std::string> localizedStringForLocaleIdentifier(const std::string& localeIdentifier) const;
    // The display name of a calendar identifier, in this locale's language; none when ICU knows no name for it.
    std::optional<std::string> localizedStringForCalendarIdentifier(const std::string& calendarIdentifier) const;
    // Whether the locale's short time format shows no AM or PM marker.
    bool timeIs24HourFormat() const;

    // The identifier of a POSIX locale name.
    static std::string localeIdentifierForPosixName(const std::string& posixName);

private:
    NSLocale() = default;
    // The POSIX name this locale stands for at the moment of the call.
    std::string posixName() const;

    std::optional<std::string> posixName_;  // none: follows the environment
};

}  // namespace duvidu
