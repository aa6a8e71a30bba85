#pragma once

#include <string>

namespace duvidu {

// Whether the locale's short time format shows the time without an AM or PM marker. The empty name means the user's
// current locale (from the environment); a locale that cannot be loaded falls back to "C".
bool duvidu_timeIs24HourFormat(const std::string& localeName = "");

}  // namespace duvidu
