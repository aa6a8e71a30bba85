#include "Duvidu/DuviduBundleInfo.h"

#include <mutex>

namespace duvidu {

namespace {
std::mutex& infoMutex()
{
    static std::mutex mutex;
    return mutex;
}
std::optional<DuviduBundleInfo>& infoSlot()
{
    static std::optional<DuviduBundleInfo> info;
    return info;
}
}  // namespace

std::optional<DuviduBundleInfo> DuviduBundleInfo::current()
{
    std::lock_guard lock(infoMutex());
    return infoSlot();
}

void DuviduBundleInfo::setCurrent(std::optional<DuviduBundleInfo> info)
{
    std::lock_guard lock(infoMutex());
    infoSlot() = std::move(info);
}

}  // namespace duvidu
