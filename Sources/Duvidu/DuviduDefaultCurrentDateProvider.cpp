#include "Duvidu/DuviduDefaultCurrentDateProvider.h"

#include <ctime>

#include "Duvidu/DuviduDispatchQueue.h"
#include "Duvidu/DuviduTime.h"

namespace duvidu {

std::shared_ptr<DuviduDefaultCurrentDateProvider> DuviduDefaultCurrentDateProvider::sharedInstance()
{
    static auto instance = std::make_shared<DuviduDefaultCurrentDateProvider>();
    return instance;
}

DuviduDate DuviduDefaultCurrentDateProvider::date() const
{
    return std::chrono::system_clock::now();
}

uint64_t DuviduDefaultCurrentDateProvider::dispatchTimeNow() const
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     DuviduDispatchQueue::Clock::now().time_since_epoch())
                                     .count());
}

int64_t DuviduDefaultCurrentDateProvider::timezoneOffset() const
{
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return parts.tm_gmtoff;
}

uint64_t DuviduDefaultCurrentDateProvider::systemTime() const
{
    return getUptimeNs();
}

}  // namespace duvidu
