#include "Duvidu/DuviduNotificationCenter.h"

#include <algorithm>

namespace duvidu {

DuviduNotificationCenter& DuviduNotificationCenter::defaultCenter()
{
    static DuviduNotificationCenter* center = new DuviduNotificationCenter;  // used until the process ends
    return *center;
}

void DuviduNotificationCenter::addObserver(const void* observer, Handler handler, std::string name,
                                           const void* object)
{
    std::lock_guard lock(mutex_);
    registrations_.push_back({observer, std::move(name), object, std::move(handler)});
}

void DuviduNotificationCenter::removeObserver(const void* observer, const std::optional<std::string>& name,
                                              const void* object)
{
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const Registration& r) {
        return r.observer == observer && (!name || r.name == *name) && (!object || r.object == object);
    });
}

void DuviduNotificationCenter::postNotificationName(const std::string& name, const void* object)
{
    std::vector<Handler> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_) {
            if (r.name == name && (!r.object || r.object == object)) handlers.push_back(r.handler);
        }
    }
    DuviduNotification notification{name, object};
    for (const auto& handler : handlers) handler(notification);
}

}  // namespace duvidu
