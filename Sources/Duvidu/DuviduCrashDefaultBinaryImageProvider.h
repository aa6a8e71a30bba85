#pragma once

#include "Duvidu/DuviduCrashBinaryImageProvider.h"

namespace duvidu {

// The crash core's list of loaded images, brought up to date by every count; the records it gives stay valid for
// the life of the process.
class DuviduCrashDefaultBinaryImageProvider : public DuviduCrashBinaryImageProvider {
public:
    int getImageCount() override;
    // ELF images carry no crash messages, so the flag changes nothing.
    DuviduCrashBinaryImage getBinaryImage(int index, bool isCrash) override;
};

}  // namespace duvidu
