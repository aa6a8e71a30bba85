#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduScopeObserver.h"

namespace duvidu {

// Keeps the crash handler's copy of the scope current: every change is stored there at once as NUL-terminated JSON
// text, so that a crash report carries the scope as it was at the crash. Called inside the scope's locks: each call
// only serializes its value and swaps a pointer.
class DuviduCrashScopeObserver : public DuviduScopeObserver {
public:
    // ObjC: -[DuviduCrashScopeObserver initWithMaxBreadcrumbs:] — the copy keeps the newest maxBreadcrumbs.
    explicit DuviduCrashScopeObserver(size_t maxBreadcrumbs);

    void setUser(const std::optional<DuviduUser>& user) override;
    void setTags(const std::map<std::string, std::string>& tags) override;
    void setExtras(const Value::Object& extras) override;
    void setContext(const Value::Object& context) override;
    void setDist(const std::optional<std::string>& dist) override;
    void setEnvironment(const std::optional<std::string>& environment) override;
    void setFingerprint(const std::vector<std::string>& fingerprint) override;
    void setLevel(DuviduLevel level) override;
    void addSerializedBreadcrumb(const Value::Object& serializedBreadcrumb) override;
    void clearBreadcrumbs() override;
    void clear() override;

    // Stores everything the scope holds now, as if each of its fields had just been set; for a scope that already
    // had content when the observer was added.
    void syncWithScope(const DuviduScope& scope);
};

}  // namespace duvidu
