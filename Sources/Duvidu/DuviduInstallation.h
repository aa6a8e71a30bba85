#pragma once

#include <optional>
#include <string>

namespace duvidu {

// The installation id: a random identifier kept in the file INSTALLATION of the SDK's cache folder, so that it
// survives restarts.
class DuviduInstallation {
public:
    DuviduInstallation() = delete;

    // ObjC: +[DuviduInstallation id] — the file's whole content when it can be read (none, and nothing kept, when it
    // is not UTF-8); otherwise a new upper-case UUID, written to the file. Safe from any thread; once known, the id
    // is returned without a lock.
    static std::optional<std::string> id();
};

}  // namespace duvidu
