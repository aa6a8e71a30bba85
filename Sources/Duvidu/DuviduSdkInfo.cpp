#include "Duvidu/DuviduSdkInfo.h"

namespace duvidu {

DuviduSdkInfo::DuviduSdkInfo(std::optional<std::string> name, std::optional<std::string> version)
    : name_(name.value_or("")), version_(version.value_or(""))
{
}

DuviduSdkInfo DuviduSdkInfo::initWithDict(const Value::Object& dict)
{
    return initWithDict(dict, std::nullopt);
}

DuviduSdkInfo DuviduSdkInfo::initWithDict(const Value::Object& dict, const std::optional<DuviduSdkInfo>& defaults)
{
    std::string name, version;
    auto sdk = dict.find("sdk");
    if (sdk != dict.end() && sdk->second.isObject()) {
        const auto& entries = *sdk->second.asObject();
        auto pick = [&](const char* key, const std::string* fallback) {
            auto it = entries.find(key);
            if (it != entries.end() && it->second.isString()) return *it->second.asString();
            return fallback ? *fallback : std::string();
        };
        name = pick("name", defaults ? &defaults->name_ : nullptr);
        version = pick("version", defaults ? &defaults->version_ : nullptr);
    }
    return DuviduSdkInfo(name, version);
}

std::optional<std::string> DuviduSdkInfo::getPackageName(uint64_t packageManager, const std::string& sdkName)
{
    switch (packageManager) {
    case 0: return "spm:veveriroz/" + sdkName;
    case 1: return "cocoapods:veveriroz/" + sdkName;
    case 2: return "carthage:veveriroz/" + sdkName;
    default: return std::nullopt;
    }
}

Value::Object DuviduSdkInfo::serialize() const
{
    Value::Object sdk{{"name", name_}, {"version", version_}};
    if (auto package = getPackageName(packageManager_, name_)) {
        sdk["packages"] = Value::Object{{"name", *package}, {"version", version_}};
    }
    return {{"sdk", std::move(sdk)}};
}

}  // namespace duvidu
