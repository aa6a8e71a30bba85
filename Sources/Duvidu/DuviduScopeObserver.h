#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduLevel.h"
#include "Duvidu/DuviduUser.h"
#include "Duvidu/Value.h"

namespace duvidu {

// Mirrors a scope elsewhere: told of every change at once, on the thread that made it. For tags, extras, contexts,
// fingerprint and breadcrumbs it is called inside that container's lock with the whole container, so it must not wait
// for another thread that changes the same scope.
class DuviduScopeObserver {
public:
    virtual ~DuviduScopeObserver() = default;

    virtual void setUser(const std::optional<DuviduUser>& user) = 0;
    virtual void setTags(const std::map<std::string, std::string>& tags) = 0;
    virtual void setExtras(const Value::Object& extras) = 0;
    virtual void setContext(const Value::Object& context) = 0;
    virtual void setDist(const std::optional<std::string>& dist) = 0;
    virtual void setEnvironment(const std::optional<std::string>& environment) = 0;
    virtual void setFingerprint(const std::vector<std::string>& fingerprint) = 0;
    virtual void setLevel(DuviduLevel level) = 0;
    // One breadcrumb's serialized dictionary.
    virtual void addSerializedBreadcrumb(const Value::Object& serializedBreadcrumb) = 0;
    virtual void clearBreadcrumbs() = 0;
    virtual void clear() = 0;
};

}  // namespace duvidu
