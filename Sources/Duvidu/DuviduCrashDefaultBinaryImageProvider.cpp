#include "Duvidu/DuviduCrashDefaultBinaryImageProvider.h"

#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"

namespace duvidu {

int DuviduCrashDefaultBinaryImageProvider::getImageCount()
{
    DuviduCrashBinaryImageCache::refresh();
    const auto* snapshot = DuviduCrashBinaryImageCache::current();
    return snapshot ? static_cast<int>(snapshot->images.size()) : 0;
}

DuviduCrashBinaryImage DuviduCrashDefaultBinaryImageProvider::getBinaryImage(int index, bool)
{
    const auto* snapshot = DuviduCrashBinaryImageCache::current();
    if (!snapshot || index < 0 || static_cast<size_t>(index) >= snapshot->images.size()) return {};
    return snapshot->images[static_cast<size_t>(index)].record;
}

}  // namespace duvidu
