#include "Duvidu/DuviduCrashStackEntryMapper.h"

#include <cinttypes>
#include <cstdio>

#include "Duvidu/DuviduUTF8.h"

namespace duvidu {

namespace {

std::optional<std::string> utf8Text(const char* text)
{
    if (!text || !duvidu_isValidUTF8(text)) return std::nullopt;
    return std::string(text);
}

}  // namespace

DuviduCrashStackEntryMapper::DuviduCrashStackEntryMapper(std::shared_ptr<const DuviduInAppLogic> inAppLogic)
    : inAppLogic_(std::move(inAppLogic))
{
}

std::string DuviduCrashStackEntryMapper::formatAddress(uint64_t address)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, address);
    return text;
}

DuviduFrame DuviduCrashStackEntryMapper::duviduCrashStackEntryToDuviduFrame(
    const DuviduCrashStackEntry& stackEntry) const
{
    DuviduFrame frame;
    frame.symbolAddress = formatAddress(stackEntry.symbolAddress);
    frame.instructionAddress = formatAddress(stackEntry.address);
    frame.imageAddress = formatAddress(stackEntry.imageAddress);
    if (auto function = utf8Text(stackEntry.symbolName)) frame.function = std::move(function);
    frame.package = utf8Text(stackEntry.imageName);
    if (frame.package) frame.inApp = inAppLogic_ && inAppLogic_->isInApp(frame.package);
    return frame;
}

DuviduFrame DuviduCrashStackEntryMapper::mapStackEntryWithCursor(const DuviduCrashStackCursor& stackCursor) const
{
    return duviduCrashStackEntryToDuviduFrame(stackCursor.stackEntry);
}

}  // namespace duvidu
