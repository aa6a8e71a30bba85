#include "Duvidu/DuviduFrameRemover.h"

#include <algorithm>

#include "Duvidu/DuviduAttachment.h"
#include "Duvidu/DuviduInAppLogic.h"

namespace duvidu {

bool DuviduFrameRemover::isSdkFrame(const DuviduFrame& frame)
{
    if (!frame.package) return false;
    const std::string package = DuviduInAppLogic::lowercased(*frame.package);
    if (package.find("/duvidu.framework/") != std::string::npos ||
        package.find("/duviduprivate.framework/") != std::string::npos)
        return true;
    const std::string file = DuviduAttachment::lastPathComponent(package);
    return file == "libduvidu.so" || file.rfind("libduvidu.so.", 0) == 0;
}

std::vector<DuviduFrame> DuviduFrameRemover::removeNonSdkFrames(const std::vector<DuviduFrame>& frames)
{
    auto first = std::find_if_not(frames.begin(), frames.end(), isSdkFrame);
    if (first == frames.end()) return frames;
    return std::vector<DuviduFrame>(first, frames.end());
}

}  // namespace duvidu
