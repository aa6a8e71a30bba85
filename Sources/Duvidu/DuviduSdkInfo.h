#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// Name, version and package of the SDK as written into envelope headers.
class DuviduSdkInfo {
public:
    // ObjC: -[DuviduSdkInfo initWithName:andVersion:] — an absent name or version becomes the empty string.
    DuviduSdkInfo(std::optional<std::string> name, std::optional<std::string> version);
    // ObjC: -[DuviduSdkInfo initWithDict:]
    static DuviduSdkInfo initWithDict(const Value::Object& dict);
    // ObjC: -[DuviduSdkInfo initWithDict:orDefaults:] — the defaults fill in only when "sdk" is a dictionary.
    static DuviduSdkInfo initWithDict(const Value::Object& dict, const std::optional<DuviduSdkInfo>& defaults);

    const std::string& name() const { return name_; }
    const std::string& version() const { return version_; }
    // 0 spm, 1 cocoapods, 2 carthage, 3 or more unknown.
    uint64_t packageManager() const { return packageManager_; }
    void setPackageManager(uint64_t packageManager) { packageManager_ = packageManager; }

    // The package name for a package manager, or nullopt for an unknown one.
    static std::optional<std::string> getPackageName(uint64_t packageManager, const std::string& sdkName);
    // {"sdk": {"name", "version", "packages": {"name", "version"}}}; "packages" only for a known package manager.
    Value::Object serialize() const;

    bool operator==(const DuviduSdkInfo& other) const = default;

private:
    std::string name_;
    std::string version_;
    uint64_t packageManager_ = 0;
};

}  // namespace duvidu
