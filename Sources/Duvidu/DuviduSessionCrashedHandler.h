#pragma once

#include <memory>

#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduFileManager.h"

namespace duvidu {

// Turns the session that was running when the previous launch crashed into a crashed session, which the next crash
// event carries.
class DuviduSessionCrashedHandler {
public:
    // ObjC: -[DuviduSessionCrashedHandler initWithCrashWrapper:]
    DuviduSessionCrashedHandler(std::shared_ptr<DuviduCrashWrapper> crashWrapper,
                                std::shared_ptr<DuviduFileManager> fileManager);

    // When the last launch crashed: the stored current session, when it is a crashed run's (the one the crash state
    // names, or one a stored crash report names), ends as crashed at now minus the active time since the crash (never before it started), is stored as
    // the crashed session, and the current one is deleted. The current session's file is claimed meanwhile; one that
    // another process holds is left to it, and so is another run's session. A crash state of an earlier version
    // names no session: then one that began after the crash (when the crash's time is known) is taken for another
    // run's, as that version did.
    void endCurrentSessionAsCrashedWhenCrashOrOOM();

private:
    std::shared_ptr<DuviduCrashWrapper> crashWrapper_;
    std::shared_ptr<DuviduFileManager> fileManager_;
};

}  // namespace duvidu
