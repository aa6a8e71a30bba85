#pragma once

#include <optional>
#include <string>

namespace duvidu {

// What the application tells the SDK about itself (identifier, versions, executable name). Set once in main()
// before the options are made; without it there is no release name.
struct DuviduBundleInfo {
    std::optional<std::string> identifier;
    std::optional<std::string> shortVersion;
    std::optional<std::string> build;
    std::optional<std::string> executable;

    static std::optional<DuviduBundleInfo> current();
    static void setCurrent(std::optional<DuviduBundleInfo> info);
};

}  // namespace duvidu
