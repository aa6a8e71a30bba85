#pragma once

#include <memory>
#include <string>
#include <vector>

namespace duvidu {

// What the client reads of the SDK facade's process-wide state: the integrations the current hub installed, and the
// flag that lets onCrashedLastRun run once per process. Clients read it through this interface so that they can be
// built and tested on their own; tests give a client a fake.
class DuviduSDKState {
public:
    virtual ~DuviduSDKState() = default;

    // The facade's own state, shared by every client.
    static std::shared_ptr<DuviduSDKState> facade();

    // The names under which the current hub installed its integrations.
    virtual std::vector<std::string> installedIntegrationNames() = 0;
    // Sets the crashed-last-run flag; true only for the one call that changed it.
    virtual bool markCrashedLastRunCalled() = 0;
};

}  // namespace duvidu
