#include "Duvidu/NSRegularExpression.h"

namespace duvidu {

NSRegularExpression::NSRegularExpression(std::string pattern, bool caseInsensitive)
    : pattern_(std::move(pattern)),
      caseInsensitive_(caseInsensitive),
      regex_(pattern_, caseInsensitive ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript)
{
}

}  // namespace duvidu
