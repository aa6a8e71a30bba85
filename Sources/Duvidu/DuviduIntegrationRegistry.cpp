#include "Duvidu/DuviduIntegrationRegistry.h"

#include "Duvidu/DuviduAutoSessionTrackingIntegration.h"
#include "Duvidu/DuviduSwiftAsyncIntegration.h"
#include "Duvidu/DuviduWatchdogTerminationTrackingIntegration.h"

namespace duvidu {

DuviduIntegrationRegistry::DuviduIntegrationRegistry()
{
    add<DuviduAutoSessionTrackingIntegration>("DuviduAutoSessionTrackingIntegration");
    add<DuviduWatchdogTerminationTrackingIntegration>("DuviduWatchdogTerminationTrackingIntegration");
    add<DuviduSwiftAsyncIntegration>("DuviduSwiftAsyncIntegration");
}

DuviduIntegrationRegistry& DuviduIntegrationRegistry::shared()
{
    static DuviduIntegrationRegistry* registry = new DuviduIntegrationRegistry;  // used until the process ends
    return *registry;
}

void DuviduIntegrationRegistry::add(const std::string& name, Entry entry)
{
    std::lock_guard lock(mutex_);
    entries_[name] = std::move(entry);
}

std::optional<DuviduIntegrationRegistry::Entry> DuviduIntegrationRegistry::find(const std::string& name) const
{
    std::lock_guard lock(mutex_);
    auto it = entries_.find(name);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

}  // namespace duvidu
