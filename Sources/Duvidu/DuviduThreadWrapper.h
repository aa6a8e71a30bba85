#pragma once

#include "Duvidu/DuviduId.h"

namespace duvidu {

// Thread sleeping and hooks around the SDK's own long-running threads; tests record instead of sleeping.
class DuviduThreadWrapper {
public:
    virtual ~DuviduThreadWrapper() = default;
    virtual void sleepForTimeInterval(double seconds);
    // Called with the id the caller made to name its thread; nothing happens by default.
    virtual void threadStarted(const DuviduId& threadId);
    virtual void threadFinished(const DuviduId& threadId);
};

}  // namespace duvidu
