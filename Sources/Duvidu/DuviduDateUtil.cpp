#include "Duvidu/DuviduDateUtil.h"

#include <chrono>
#include <cmath>

#include "Duvidu/DuviduCurrentDate.h"

namespace duvidu {

bool DuviduDateUtil::isInFuture(const std::optional<DuviduDate>& date)
{
    return date && DuviduCurrentDate::date() < *date;
}

std::optional<DuviduDate> DuviduDateUtil::getMaximumDate(const std::optional<DuviduDate>& first,
                                                         const std::optional<DuviduDate>& second)
{
    if (!first) return second;
    if (!second) return first;
    return *first > *second ? first : second;
}

std::optional<DuviduDate> DuviduDateUtil::dateWithSecondsSince1970(double seconds)
{
    // Checked in seconds, before any conversion can overflow: the clock counts nanoseconds in 64 bits.
    using Seconds = std::chrono::duration<double>;
    const double limit = std::floor(std::chrono::duration_cast<Seconds>(DuviduDate::duration::max()).count());
    if (!std::isfinite(seconds) || std::fabs(seconds) > limit) return std::nullopt;
    return DuviduDate(std::chrono::duration_cast<DuviduDate::duration>(Seconds(seconds)));
}

}  // namespace duvidu
