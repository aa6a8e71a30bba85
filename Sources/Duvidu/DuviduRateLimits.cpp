#include "Duvidu/DuviduRateLimits.h"

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
    std::lock_guard lock(mutex_);
    std::optional<DuviduDate> end;
    for (auto key : {DuviduDataCategory::All, category}) {
        auto it = limits_.find(key);
        if (it != limits_.end() && it->second > now && (!end || it->second > *end)) end = it->second;
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
    std::lock_guard lock(mutex_);
    limits_[DuviduDataCategory::All] = until;
}

}  // namespace duvidu
