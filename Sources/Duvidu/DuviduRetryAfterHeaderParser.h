#pragma once

#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// Reads the "Retry-After" field: a number of seconds from now, or an HTTP date.
class DuviduRetryAfterHeaderParser {
public:
    DuviduRetryAfterHeaderParser() = delete;

    // The date until which to wait; nullopt for a missing or unreadable field. `now` is the SDK clock's date.
    static std::optional<DuviduDate> parse(const std::optional<std::string>& header, DuviduDate now);
};

}  // namespace duvidu
