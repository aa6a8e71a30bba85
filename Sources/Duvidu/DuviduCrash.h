#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Duvidu/DuviduFileLock.h"
#include "Duvidu/Value.h"

namespace duvidu {

// The crash reporter as the SDK sees it: installs crash capture for the application, with its reports and crash state
// in the SDK's cache folder ($XDG_CACHE_HOME/duvidu/DuviduCrash/<application>), and hands out the reports an earlier
// launch stored. One per process.
class DuviduCrash {
public:
    static std::shared_ptr<DuviduCrash> sharedInstance();

    // Whether the previous launch crashed; false until the first install in this process read the crash state.
    bool crashedLastLaunch() const;

    // Installs crash capture (again after an uninstall); false when its folders cannot be made.
    bool install();
    // Takes the crash monitors out; the signal actions and terminate handler they replaced come back.
    void uninstall();
    bool isInstalled() const;
    // The folder of this application's reports and state.
    static std::string installPath();

    // Carried by every report as its user info, sanitized (dates as ISO-8601 text) so that JSON can hold it.
    void setUserInfo(const Value::Object& userInfo);

    // The reports stored so far, oldest first; empty before the first install.
    std::vector<std::string> reportIds() const;
    // The report claimed for as long as the result lives (an exclusive flock on its file, as envelopes are claimed):
    // nullopt when another process, or another claim in this one, holds it, or when it is gone. Processes that share
    // the cache folder each send a report only once they hold it, so that it is sent once.
    std::optional<DuviduFileLock> claimReport(const std::string& reportId) const;
    // The report as JSON; nullopt when it is gone or not a JSON object.
    std::optional<Value::Object> readReport(const std::string& reportId) const;
    // The ids of the sessions that the crashed processes of the stored reports ran (none for a report of a process
    // without one, or of an earlier version).
    std::set<std::string> reportedSessionIds() const;
    void deleteReport(const std::string& reportId) const;
};

}  // namespace duvidu
