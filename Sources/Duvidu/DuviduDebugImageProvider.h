#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Duvidu/DuviduCrashBinaryImageProvider.h"
#include "Duvidu/DuviduDebugMeta.h"
#include "Duvidu/DuviduFrame.h"
#include "Duvidu/DuviduThread.h"

namespace duvidu {

// The loaded binary images as debug images, all of them or those that frames point into, so that the service can
// symbolicate addresses. Keeps no state; each call reads the current list.
class DuviduDebugImageProvider {
public:
    // ObjC: -[DuviduDebugImageProvider init] — the crash core's image list.
    DuviduDebugImageProvider();
    // ObjC: -[DuviduDebugImageProvider initWithBinaryImageProvider:]
    explicit DuviduDebugImageProvider(std::shared_ptr<DuviduCrashBinaryImageProvider> binaryImageProvider);

    // ObjC: -getDebugImagesCrashed: — one per image, in list order.
    std::vector<DuviduDebugMeta> getDebugImagesCrashed(bool isCrash);
    // ObjC: -getDebugImages
    std::vector<DuviduDebugMeta> getDebugImages();
    // ObjC: -getDebugImagesForAddresses:isCrash: — the images whose address text is in the set, in list order.
    std::vector<DuviduDebugMeta> getDebugImagesForAddresses(const std::set<std::string>& addresses, bool isCrash);
    // ObjC: -getDebugImagesForFrames:isCrash:
    std::vector<DuviduDebugMeta> getDebugImagesForFrames(const std::vector<DuviduFrame>& frames, bool isCrash = true);
    // ObjC: -getDebugImagesForThreads:isCrash: — a thread without a stack trace adds nothing.
    std::vector<DuviduDebugMeta> getDebugImagesForThreads(const std::vector<DuviduThread>& threads,
                                                          bool isCrash = true);

    // ObjC: -extractDebugImageAddressFromFrames:intoSet:
    static void extractDebugImageAddressFromFrames(const std::vector<DuviduFrame>& frames,
                                                   std::set<std::string>& set);
    // ObjC: -fillDebugMetaFrom:
    static DuviduDebugMeta fillDebugMetaFrom(const DuviduCrashBinaryImage& image);
    // ObjC: +convertUUID: — 36 upper-case characters, or none without a UUID.
    static std::optional<std::string> convertUUID(const uint8_t* uuid);

private:
    std::shared_ptr<DuviduCrashBinaryImageProvider> binaryImageProvider_;
};

}  // namespace duvidu
