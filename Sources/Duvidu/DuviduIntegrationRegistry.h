#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Duvidu/DuviduBaseIntegration.h"

namespace duvidu {

// The integrations the SDK can install, by the class names that the options list. Filled once, on first use, with
// every integration this build has; a name the options list but the registry lacks is one this platform has no
// build of. An explicit table, since static self-registration would be dropped by the linker.
class DuviduIntegrationRegistry {
public:
    struct Entry {
        // A new instance, made by the integration's default constructor.
        std::function<std::shared_ptr<DuviduBaseIntegration>()> make;
        // Whether an integration is an instance of this class or of a subclass.
        std::function<bool(const DuviduBaseIntegration&)> isKindOf;
    };

    static DuviduIntegrationRegistry& shared();

    template <typename Integration>
    void add(const std::string& name)
    {
        add(name, Entry{[] { return std::make_shared<Integration>(); },
                        [](const DuviduBaseIntegration& integration) {
                            return dynamic_cast<const Integration*>(&integration) != nullptr;
                        }});
    }
    void add(const std::string& name, Entry entry);
    // nullopt for a name without a build here.
    std::optional<Entry> find(const std::string& name) const;

private:
    DuviduIntegrationRegistry();

    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

}  // namespace duvidu
