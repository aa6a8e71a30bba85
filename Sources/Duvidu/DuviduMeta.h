#pragma once

#include <string>

namespace duvidu {

// The SDK's own name and version, as written into every envelope and event. Replaceable at run time by SDKs layered
// on this one.
class DuviduMeta {
public:
    DuviduMeta() = delete;

    static std::string sdkName();
    static void setSdkName(std::string name);
    static std::string versionString();
    static void setVersionString(std::string version);
};

}  // namespace duvidu
