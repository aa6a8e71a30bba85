#pragma once

#include <string_view>

namespace duvidu {

// True when the bytes are well-formed UTF-8: no overlong forms, surrogates or code points above U+10FFFF. Text the
// platform reads "as UTF-8" is taken only when this holds.
bool duvidu_isValidUTF8(std::string_view text);

}  // namespace duvidu
