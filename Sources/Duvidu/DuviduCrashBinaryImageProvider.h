#pragma once

#include "DuviduCrash/Recording/Tools/DuviduCrashBinaryImage.h"

namespace duvidu {

// The loaded images as the debug image provider reads them; tests put fixed lists in its place.
class DuviduCrashBinaryImageProvider {
public:
    virtual ~DuviduCrashBinaryImageProvider() = default;
    // ObjC: -getImageCount
    virtual int getImageCount() = 0;
    // ObjC: -getBinaryImage:isCrash: — all zero for an index the list does not hold.
    virtual DuviduCrashBinaryImage getBinaryImage(int index, bool isCrash) = 0;
};

}  // namespace duvidu
