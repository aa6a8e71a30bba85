#pragma once

#include <vector>

#include "Duvidu/DuviduFrame.h"

namespace duvidu {

// Takes the SDK's own frames off the inner end of a stack.
class DuviduFrameRemover {
public:
    DuviduFrameRemover() = delete;

    // ObjC: +[DuviduFrameRemover removeNonSdkFrames:] — frames innermost first; returns them from the first frame
    // that is not the SDK's (a frame without package is not), or all of them when every frame is the SDK's.
    static std::vector<DuviduFrame> removeNonSdkFrames(const std::vector<DuviduFrame>& frames);

    // The SDK's frames lie in its framework folders or in its shared library, libduvidu.so.
    static bool isSdkFrame(const DuviduFrame& frame);
};

}  // namespace duvidu
