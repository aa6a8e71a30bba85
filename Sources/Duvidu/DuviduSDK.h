#pragma once

#include "Duvidu/DuviduId.h"
#include "Duvidu/NSError.h"

namespace duvidu {

// The SDK's static entry points. Process-wide state only; no instances.
class DuviduSDK {
public:
    DuviduSDK() = delete;

    // ObjC: +[DuviduSDK captureError:] — reports the error through the current hub with its scope and returns the
    // event id. Until the SDK is started there is no hub with a client: nothing is sent and the empty id comes back.
    static DuviduId captureError(const NSError& error);

    // Whether onCrashedLastRun already ran in this process; it runs at most once.
    static bool crashedLastRunCalled();
    static void setCrashedLastRunCalled(bool called);
    // Sets the flag and returns true only for the call that changed it, so that of two crash events prepared at
    // once exactly one runs the callback.
    static bool markCrashedLastRunCalled();
};

}  // namespace duvidu
