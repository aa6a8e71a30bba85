#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Duvidu/Value.h"

namespace duvidu {

// "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'" in UTC; milliseconds are cut, not rounded.
std::string duvidu_toIso8601String(DuviduDate date);
// Reads the millisecond form, else the seconds form "yyyy-MM-dd'T'HH:mm:ss'Z'"; nullopt when neither matches.
std::optional<DuviduDate> duvidu_fromIso8601String(std::string_view text);

}  // namespace duvidu
