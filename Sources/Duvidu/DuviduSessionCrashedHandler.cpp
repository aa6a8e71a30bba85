#include "Duvidu/DuviduSessionCrashedHandler.h"

#include <algorithm>
#include <chrono>

#include "Duvidu/DuviduCrash.h"
#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduFileLock.h"
#include "Duvidu/DuviduLog.h"

namespace duvidu {

namespace {

// A crashed run's session is the one the crash state names, or one a stored crash report names (processes that crash
// at once leave one state, the last written, and a report each). A state written by an earlier version names none;
// the rule of that version holds then: a session that began after the crash (when its time is known) is a later
// run's.
bool isCrashedRunsSession(const DuviduSession& session, const DuviduCrashWrapper& crashWrapper)
{
    const std::string id = session.sessionId().duviduIdString();
    if (auto sessionId = crashWrapper.lastCrashSessionId())
        return *sessionId == id || DuviduCrash::sharedInstance()->reportedSessionIds().count(id) > 0;
    auto crashed = crashWrapper.lastCrashDate();
    return !crashed || session.started() <= *crashed;
}

}  // namespace

DuviduSessionCrashedHandler::DuviduSessionCrashedHandler(std::shared_ptr<DuviduCrashWrapper> crashWrapper,
                                                         std::shared_ptr<DuviduFileManager> fileManager)
    : crashWrapper_(std::move(crashWrapper)), fileManager_(std::move(fileManager))
{
}

void DuviduSessionCrashedHandler::endCurrentSessionAsCrashedWhenCrashOrOOM()
{
    if (!fileManager_ || !crashWrapper_->crashedLastLaunch()) return;
    // Claimed until it is deleted: of the processes that start at once after the crash, one ends it.
    auto claim = DuviduFileLock::acquire(fileManager_->currentSessionFilePath());
    auto session = claim ? fileManager_->readCurrentSession() : nullptr;
    if (!session) return;
    // Another run's (a sibling that stored it before or after the crash) is ended by that run.
    if (!isCrashedRunsSession(*session, *crashWrapper_)) {
        DUVIDU_LOG_DEBUG("The stored session is not the crashed run's; it is left to its own run.");
        return;
    }
    const auto activeTime = std::chrono::duration_cast<DuviduDate::duration>(
        std::chrono::duration<double>(crashWrapper_->activeDurationSinceLastCrash()));
    session->endSessionCrashedWithTimestamp(std::max(DuviduCurrentDate::date() - activeTime, session->started()));
    fileManager_->storeCrashedSession(*session);
    fileManager_->deleteCurrentSession();
}

}  // namespace duvidu
