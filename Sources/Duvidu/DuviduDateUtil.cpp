#include "Duvidu/DuviduDateUtil.h"

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

}  // namespace duvidu
