#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "Duvidu/DuviduDataCategory.h"
#include "Duvidu/DuviduHttpResponse.h"
#include "Duvidu/Value.h"

namespace duvidu {

// What the service asked the SDK to hold back, and until when, by data category. Times come from the SDK clock; a
// hold also ends once as much time as the service asked for has passed on the monotonic clock, so that a wall clock
// set back does not stretch it. Safe from any thread.
class DuviduRateLimits {
public:
    // Without a "Retry-After" field (or with one that does not read) a 429 or 503 holds everything back this long.
    static constexpr int kDefaultRetryAfterSeconds = 60;

    // Whether data of the category is held back now: by a limit on it or on all categories.
    bool isRateLimitActive(DuviduDataCategory category) const;
    // The end of the limit that holds the category back now, as a date of the SDK clock; nullopt when none does.
    std::optional<DuviduDate> limitEnd(DuviduDataCategory category) const;
    // A 429 or 503 holds every category back until its "Retry-After" date; other answers change nothing.
    void update(const DuviduHttpResponse& response);

private:
    struct Hold {
        DuviduDate until;
        // DuviduCurrentDate::systemTime() at which the hold ends at the latest.
        uint64_t monotonicUntil;
    };

    mutable std::mutex mutex_;
    std::map<DuviduDataCategory, Hold> limits_;
};

}  // namespace duvidu
