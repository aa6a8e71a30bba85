#include "Duvidu/DuviduMeta.h"

#include <mutex>

namespace duvidu {

namespace {

// Strings are not atomic: readers on other threads get a copy taken under the lock.
struct MetaState {
    std::mutex mutex;
    std::string sdkName = "duvidu.cocoa";
    std::string versionString = VC_DUVIDU_VERSION;  // set by the build, which also gives it the soname
};

MetaState& state()
{
    static MetaState instance;
    return instance;
}

}  // namespace

std::string DuviduMeta::sdkName()
{
    std::lock_guard lock(state().mutex);
    return state().sdkName;
}

void DuviduMeta::setSdkName(std::string name)
{
    std::lock_guard lock(state().mutex);
    state().sdkName = std::move(name);
}

std::string DuviduMeta::versionString()
{
    std::lock_guard lock(state().mutex);
    return state().versionString;
}

void DuviduMeta::setVersionString(std::string version)
{
    std::lock_guard lock(state().mutex);
    state().versionString = std::move(version);
}

}  // namespace duvidu
