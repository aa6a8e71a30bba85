#include "Duvidu/DuviduDebugImageProvider.h"

#include "Duvidu/DuviduCrashDefaultBinaryImageProvider.h"
#include "Duvidu/DuviduCrashStackEntryMapper.h"
#include "Duvidu/DuviduUTF8.h"

namespace duvidu {

DuviduDebugImageProvider::DuviduDebugImageProvider()
    : DuviduDebugImageProvider(std::make_shared<DuviduCrashDefaultBinaryImageProvider>())
{
}

DuviduDebugImageProvider::DuviduDebugImageProvider(std::shared_ptr<DuviduCrashBinaryImageProvider> binaryImageProvider)
    : binaryImageProvider_(std::move(binaryImageProvider))
{
}

std::vector<DuviduDebugMeta> DuviduDebugImageProvider::getDebugImagesCrashed(bool isCrash)
{
    std::vector<DuviduDebugMeta> images;
    const int count = binaryImageProvider_->getImageCount();
    images.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        images.push_back(fillDebugMetaFrom(binaryImageProvider_->getBinaryImage(i, isCrash)));
    return images;
}

std::vector<DuviduDebugMeta> DuviduDebugImageProvider::getDebugImages()
{
    return getDebugImagesCrashed(true);
}

std::vector<DuviduDebugMeta> DuviduDebugImageProvider::getDebugImagesForAddresses(
    const std::set<std::string>& addresses, bool isCrash)
{
    std::vector<DuviduDebugMeta> result;
    if (addresses.empty()) return result;
    std::set<std::string> taken;
    for (auto& image : getDebugImagesCrashed(isCrash)) {
        if (image.imageAddress && addresses.count(*image.imageAddress) && taken.insert(*image.imageAddress).second)
            result.push_back(std::move(image));
    }
    return result;
}

std::vector<DuviduDebugMeta> DuviduDebugImageProvider::getDebugImagesForFrames(const std::vector<DuviduFrame>& frames,
                                                                               bool isCrash)
{
    std::set<std::string> addresses;
    extractDebugImageAddressFromFrames(frames, addresses);
    return getDebugImagesForAddresses(addresses, isCrash);
}

std::vector<DuviduDebugMeta> DuviduDebugImageProvider::getDebugImagesForThreads(
    const std::vector<DuviduThread>& threads, bool isCrash)
{
    std::set<std::string> addresses;
    for (const auto& thread : threads) {
        if (thread.stacktrace) extractDebugImageAddressFromFrames(thread.stacktrace->frames, addresses);
    }
    return getDebugImagesForAddresses(addresses, isCrash);
}

void DuviduDebugImageProvider::extractDebugImageAddressFromFrames(const std::vector<DuviduFrame>& frames,
                                                                  std::set<std::string>& set)
{
    for (const auto& frame : frames) {
        if (frame.imageAddress) set.insert(*frame.imageAddress);
    }
}

DuviduDebugMeta DuviduDebugImageProvider::fillDebugMetaFrom(const DuviduCrashBinaryImage& image)
{
    DuviduDebugMeta meta;
    meta.debugID = convertUUID(image.uuid);
    meta.type = "elf";
    if (image.vmAddress != 0) meta.imageVmAddress = DuviduCrashStackEntryMapper::formatAddress(image.vmAddress);
    meta.imageAddress = DuviduCrashStackEntryMapper::formatAddress(image.address);
    meta.imageSize = image.size;
    if (image.name && duvidu_isValidUTF8(image.name)) meta.codeFile = std::string(image.name);
    return meta;
}

std::optional<std::string> DuviduDebugImageProvider::convertUUID(const uint8_t* uuid)
{
    if (!uuid) return std::nullopt;
    char text[37];
    convertBinaryImageUUID(uuid, text);
    return std::string(text);
}

}  // namespace duvidu
