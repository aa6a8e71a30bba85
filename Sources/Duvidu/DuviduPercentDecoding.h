#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace duvidu {

// The value of one hexadecimal digit of either case; -1 for any other character.
int duvidu_hexDigitValue(char c);

// The text with every "%" and two hexadecimal digits replaced by that byte; nullopt when a "%" is not followed by
// two such digits. The bytes are not checked for being UTF-8.
std::optional<std::string> duvidu_percentDecoded(std::string_view text);

}  // namespace duvidu
