#include "Duvidu/DuviduNSNotificationCenterWrapper.h"

namespace duvidu {

std::string DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName()
{
    return "NSApplicationDidBecomeActiveNotification";
}

std::string DuviduNSNotificationCenterWrapper::willResignActiveNotificationName()
{
    return "NSApplicationWillResignActiveNotification";
}

std::string DuviduNSNotificationCenterWrapper::willTerminateNotificationName()
{
    return "NSApplicationWillTerminateNotification";
}

void DuviduNSNotificationCenterWrapper::addObserver(const void* observer, DuviduNotificationCenter::Handler handler,
                                                    const std::string& name, const void* object)
{
    DuviduNotificationCenter::defaultCenter().addObserver(observer, std::move(handler), name, object);
}

void DuviduNSNotificationCenterWrapper::removeObserver(const void* observer, const std::string& name,
                                                       const void* object)
{
    DuviduNotificationCenter::defaultCenter().removeObserver(observer, name, object);
}

void DuviduNSNotificationCenterWrapper::removeObserver(const void* observer)
{
    DuviduNotificationCenter::defaultCenter().removeObserver(observer);
}

void DuviduNSNotificationCenterWrapper::postNotificationName(const std::string& name, const void* object)
{
    DuviduNotificationCenter::defaultCenter().postNotificationName(name, object);
}

}  // namespace duvidu
