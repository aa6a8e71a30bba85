#include "Duvidu/DuviduCurrentDate.h"

#include <mutex>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"

namespace duvidu {

namespace {

// Readers take a counted reference under the lock, so a provider replaced meanwhile is never freed under them.
std::mutex& providerMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<DuviduCurrentDateProvider>& providerSlot()
{
    static std::shared_ptr<DuviduCurrentDateProvider> provider;
    return provider;
}

std::shared_ptr<DuviduCurrentDateProvider> provider()
{
    std::lock_guard lock(providerMutex());
    if (!providerSlot()) providerSlot() = DuviduDefaultCurrentDateProvider::sharedInstance();
    return providerSlot();
}

}  // namespace

DuviduDate DuviduCurrentDate::date()
{
    return provider()->date();
}

uint64_t DuviduCurrentDate::dispatchTimeNow()
{
    return provider()->dispatchTimeNow();
}

uint64_t DuviduCurrentDate::systemTime()
{
    return provider()->systemTime();
}

void DuviduCurrentDate::setCurrentDateProvider(std::shared_ptr<DuviduCurrentDateProvider> newProvider)
{
    std::lock_guard lock(providerMutex());
    providerSlot() = std::move(newProvider);
}

std::shared_ptr<DuviduCurrentDateProvider> DuviduCurrentDate::getCurrentDateProvider()
{
    std::lock_guard lock(providerMutex());
    return providerSlot();
}

}  // namespace duvidu
