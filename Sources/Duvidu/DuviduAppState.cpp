#include "Duvidu/DuviduAppState.h"

#include "Duvidu/DuviduDateExtras.h"

namespace duvidu {

DuviduAppState::DuviduAppState(std::optional<std::string> releaseName, std::string osVersion, bool isDebugging,
                               DuviduDate systemBootTimestamp)
    : releaseName(std::move(releaseName)),
      osVersion(std::move(osVersion)),
      isDebugging(isDebugging),
      systemBootTimestamp(systemBootTimestamp)
{
}

std::shared_ptr<DuviduAppState> DuviduAppState::initWithJSONObject(const Value::Object& json)
{
    auto entry = [&](const char* key) -> const Value* {
        auto it = json.find(key);
        return it == json.end() ? nullptr : &it->second;
    };
    auto flag = [&](const char* key) {
        auto value = entry(key);
        return value && value->asBool() && *value->asBool();
    };
    auto osVersion = entry("os_version");
    auto debugging = entry("is_debugging");
    auto boot = entry("system_boot_timestamp");
    if (!osVersion || !osVersion->isString() || !debugging || !debugging->isBool() || !boot || !boot->isString())
        return nullptr;
    auto bootDate = duvidu_fromIso8601String(*boot->asString());
    if (!bootDate) return nullptr;
    std::optional<std::string> release;
    if (auto value = entry("release_name"); value && value->isString()) release = *value->asString();

    auto state = std::make_shared<DuviduAppState>(release, *osVersion->asString(), *debugging->asBool(), *bootDate);
    state->isActive = flag("is_active");
    state->wasTerminated = flag("was_terminated");
    state->isANROngoing = flag("is_anr_ongoing");
    return state;
}

Value::Object DuviduAppState::serialize() const
{
    Value::Object json{
        {"os_version", osVersion},
        {"is_debugging", isDebugging},
        {"system_boot_timestamp", duvidu_toIso8601String(systemBootTimestamp)},
        {"is_active", isActive},
        {"was_terminated", wasTerminated},
        {"is_anr_ongoing", isANROngoing},
    };
    if (releaseName) json["release_name"] = *releaseName;
    return json;
}

}  // namespace duvidu
