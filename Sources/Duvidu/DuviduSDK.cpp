#include "Duvidu/DuviduSDK.h"

#include <atomic>

namespace duvidu {

namespace {
std::atomic<bool> crashedLastRunCalledFlag{false};
}  // namespace

DuviduId DuviduSDK::captureError(const NSError& error)
{
    // The hub that would hand the error to a client exists only once the SDK is started; without a client no event
    // is built or sent, and the empty id tells the caller so.
    (void)error;
    return DuviduId::empty();
}

bool DuviduSDK::crashedLastRunCalled()
{
    return crashedLastRunCalledFlag.load();
}

void DuviduSDK::setCrashedLastRunCalled(bool called)
{
    crashedLastRunCalledFlag.store(called);
}

bool DuviduSDK::markCrashedLastRunCalled()
{
    return !crashedLastRunCalledFlag.exchange(true);
}

}  // namespace duvidu
