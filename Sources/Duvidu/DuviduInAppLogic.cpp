#include "Duvidu/DuviduInAppLogic.h"

#include <algorithm>
#include <cctype>

#include "Duvidu/DuviduAttachment.h"

namespace duvidu {

namespace {

bool beginsWithAny(const std::string& name, const std::vector<std::string>& prefixes)
{
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
        return name.rfind(DuviduInAppLogic::lowercased(prefix), 0) == 0;
    });
}

}  // namespace

DuviduInAppLogic::DuviduInAppLogic(std::vector<std::string> inAppIncludes, std::vector<std::string> inAppExcludes)
    : inAppIncludes_(std::move(inAppIncludes)), inAppExcludes_(std::move(inAppExcludes))
{
}

bool DuviduInAppLogic::isInApp(const std::optional<std::string>& imagePath) const
{
    if (!imagePath) return false;
    // Only an include makes an image in app; the excludes, tested after them, cannot change the answer.
    return beginsWithAny(lowercased(DuviduAttachment::lastPathComponent(*imagePath)), inAppIncludes_);
}

std::string DuviduInAppLogic::lowercased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace duvidu
