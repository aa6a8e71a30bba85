#include "Duvidu/DuviduSessionCrashedHandler.h"

#include <algorithm>
#include <chrono>

#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduFileLock.h"
#include "Duvidu/DuviduLog.h"

namespace duvidu {

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
    // One that began after the crash is not the crashed run's: a run that started since stored it, and ends it.
    if (auto crashed = crashWrapper_->lastCrashDate(); crashed && session->started() > *crashed) {
        DUVIDU_LOG_DEBUG("The stored session began after the crash; it is left to its own run.");
        return;
    }
    const auto activeTime = std::chrono::duration_cast<DuviduDate::duration>(
        std::chrono::duration<double>(crashWrapper_->activeDurationSinceLastCrash()));
    session->endSessionCrashedWithTimestamp(std::max(DuviduCurrentDate::date() - activeTime, session->started()));
    fileManager_->storeCrashedSession(*session);
    fileManager_->deleteCurrentSession();
}

}  // namespace duvidu
