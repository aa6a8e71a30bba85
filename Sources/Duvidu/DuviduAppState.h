#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// What the SDK remembers about the application between launches, to tell how the previous one ended.
class DuviduAppState {
public:
    DuviduAppState(std::optional<std::string> releaseName, std::string osVersion, bool isDebugging,
                   DuviduDate systemBootTimestamp);
    // ObjC: -[DuviduAppState initWithJSONObject:] — nullptr unless "os_version", "is_debugging" and
    // "system_boot_timestamp" are present and readable.
    static std::shared_ptr<DuviduAppState> initWithJSONObject(const Value::Object& json);

    std::optional<std::string> releaseName;
    std::string osVersion;
    bool isDebugging;
    DuviduDate systemBootTimestamp;
    bool isActive = false;
    bool wasTerminated = false;
    bool isANROngoing = false;

    Value::Object serialize() const;
};

}  // namespace duvidu
