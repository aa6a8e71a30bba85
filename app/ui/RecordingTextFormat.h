#pragma once

#include "engine/RecordingMetadata.h"

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

    // The text that card and detail show for a record: its result, or a note in its place. A record whose recognition
    // did not finish says so, before the text it gave until then or in place of it.
    static QString resultText(const RecordingMetadata& metadata);
    // Whether resultText is only a note (drawn in italics and fainter): the record holds no text.
    static bool showsPlaceholder(const RecordingMetadata& metadata);
};
