#pragma once

#include <optional>

#include "Duvidu/Value.h"

namespace duvidu {

class DuviduDateUtil {
public:
    DuviduDateUtil() = delete;

    // True when the SDK clock's now is strictly earlier than the date; false for no date.
    static bool isInFuture(const std::optional<DuviduDate>& date);
    // The later of two dates (the second when they are equal); the present one when one is absent.
    static std::optional<DuviduDate> getMaximumDate(const std::optional<DuviduDate>& first,
                                                    const std::optional<DuviduDate>& second);
    // The date that many seconds after 1970 (before it when negative); none for a number that names no date the
    // clock can hold (beyond about 292 years either side of 1970, NaN, infinite).
    static std::optional<DuviduDate> dateWithSecondsSince1970(double seconds);
};

}  // namespace duvidu
