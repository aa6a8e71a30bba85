#include "Duvidu/DuviduRateLimits.h"

#include <algorithm>

#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduDateExtras.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduRetryAfterHeaderParser.h"

namespace duvidu {

bool DuviduRateLimits::isRateLimitActive(DuviduDataCategory category) const
{
    return limitEnd(category).has_value();
}

std::optional<DuviduDate> DuviduRateLimits::limitEnd(DuviduDataCategory category) const
{
    const auto now = DuviduCurrentDate::date();
    const uint64_t monotonicNow = DuviduCurrentDate::systemTime();
    std::lock_guard lock(mutex_);
    std::optional<DuviduDate> end;
    for (auto key : {DuviduDataCategory::All, category}) {
        auto it = limits_.find(key);
        if (it == limits_.end() || it->second.monotonicUntil <= monotonicNow) continue;
        const auto left = std::chrono::duration_cast<DuviduDate::duration>(
            std::chrono::nanoseconds(it->second.monotonicUntil - monotonicNow));
        const auto until = std::min(it->second.until, now + left);
        if (until > now && (!end || until > *end)) end = until;
    }
    return end;
}

void DuviduRateLimits::update(const DuviduHttpResponse& response)
{
    if (response.statusCode != 429 && response.statusCode != 503) return;
    const auto now = DuviduCurrentDate::date();
    auto until = DuviduRetryAfterHeaderParser::parse(response.header("retry-after"), now)
                     .value_or(now + std::chrono::seconds(kDefaultRetryAfterSeconds));
    DUVIDU_LOG_DEBUG("Rate limited by status code " + std::to_string(response.statusCode) + " until " +
                     duvidu_toIso8601String(until));
    const auto asked = std::max(until - now, DuviduDate::duration::zero());
    const uint64_t monotonicUntil =
        DuviduCurrentDate::systemTime() +
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(asked).count());
    std::lock_guard lock(mutex_);
    limits_[DuviduDataCategory::All] = {until, monotonicUntil};
}

}  // namespace duvidu
