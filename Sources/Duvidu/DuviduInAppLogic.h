#pragma once

#include <optional>
#include <string>
#include <vector>

namespace duvidu {

// Decides which images are the application's own code: an image is in app when its file name begins with one of
// the includes (ignoring case). Excludes are tested only after the includes, so they never take an image out.
class DuviduInAppLogic {
public:
    // ObjC: -[DuviduInAppLogic initWithInAppIncludes:inAppExcludes:]
    DuviduInAppLogic(std::vector<std::string> inAppIncludes, std::vector<std::string> inAppExcludes);

    const std::vector<std::string>& inAppIncludes() const { return inAppIncludes_; }
    const std::vector<std::string>& inAppExcludes() const { return inAppExcludes_; }

    // ObjC: -[DuviduInAppLogic isInApp:] — false without a path.
    bool isInApp(const std::optional<std::string>& imagePath) const;

    // Image paths compared without regard to case.
    static std::string lowercased(std::string text);

private:
    std::vector<std::string> inAppIncludes_;
    std::vector<std::string> inAppExcludes_;
};

}  // namespace duvidu
