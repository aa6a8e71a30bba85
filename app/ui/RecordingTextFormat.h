#pragma once

#include <QString>

#include <cstdint>
#include <string>

// The texts that the history views build from a stored record.
class RecordingTextFormat {
public:
    RecordingTextFormat() = delete;

    // A stored datetime ("2023-08-01T14:05:09", UTC, nothing before or after) as a medium date with a short time in
    // the user's locale and time zone; the empty text when it does not parse.
    static QString dateText(const std::string& datetime);

    // Milliseconds as seconds with two decimals and an "s" ("1.23s"), the same in every locale.
    static QString secondsText(std::int64_t milliseconds);
};
