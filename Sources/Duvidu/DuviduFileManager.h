#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduAppState.h"
#include "Duvidu/DuviduCurrentDateProvider.h"
#include "Duvidu/DuviduDispatchQueueWrapper.h"
#include "Duvidu/DuviduEnvelope.h"
#include "Duvidu/DuviduFileLock.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduSession.h"
#include "Duvidu/NSError.h"

namespace duvidu {

// Told about every envelope that the cache limit pushed out, so that its items can be counted lost.
class DuviduFileManagerDelegate {
public:
    virtual ~DuviduFileManagerDelegate() = default;
    virtual void envelopeDeleted(const DuviduEnvelope& envelope) = 0;
};

// A stored envelope as read back from the cache, claimed for as long as this value lives.
struct DuviduFileContents {
    std::string path;
    std::shared_ptr<DuviduEnvelope> envelope;
    DuviduFileLock claim;
};

// The on-disk cache of one DSN: $XDG_CACHE_HOME (or ~/.cache) /duvidu/<hex SHA-1 of the DSN>/ with the folder
// "envelopes", the session files and the application-state and breadcrumb files. Envelope files are named
// "<microseconds since 1970>-<counter>-<envelope id>.envelope", with fixed widths, so that sorting the names sorts them
// by age (a new file's time is never before that of the newest file there, even with the clock set back); each is
// written under a hidden temporary name and then renamed, so no reader ever sees half a file. Safe
// from any thread, and shared safely by processes with the same DSN.
//
// Every file is read through the checked reader (DuviduFileText.h): envelopes up to kDuviduEnvelopeFileLimit, the
// other files up to kDuviduStateFileLimit; a file that is refused (a pipe, a device, a folder, or too large) is
// deleted with a log line. No envelope larger than the limit is written.
class DuviduFileManager : public std::enable_shared_from_this<DuviduFileManager> {
public:
    // Envelope files older than this are deleted by deleteOldEnvelopeItems.
    static constexpr double kMaxEnvelopeAgeSeconds = 90 * 24 * 3600.0;

    // ObjC: -[DuviduFileManager initWithOptions:andCurrentDateProvider:dispatchQueueWrapper:error:] — makes the
    // paths of the DSN's cache folder, deletes a leftover "events" folder, creates the folder and its envelopes
    // folder when missing, sets the file counter to 0 and the envelope limit to options.maxCacheItems. nullptr and
    // an SDK error of code 108 when a folder cannot be created.
    static std::shared_ptr<DuviduFileManager> initWithOptions(
        const DuviduOptions& options, std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider,
        std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper, NSError* error = nullptr);

    void setDelegate(std::weak_ptr<DuviduFileManagerDelegate> delegate);

    // Hidden temporary files that no writer holds are deleted once they are this old.
    static constexpr double kAbandonedTemporaryFileAgeSeconds = 60;

    // Returns at once; on the file manager's queue deletes envelope files older than 90 days, and the temporary
    // files of writers that died while writing (in the envelopes folder and the cache folder).
    void deleteOldEnvelopeItems();
    // Writes the envelope's bytes as a new file in the envelopes folder, then applies the cache limit: deletes the
    // oldest files while there are more than the limit and tells the delegate about each of them. A file that a sender
    // has claimed is left to that sender, which applies the limit when it lets the claim go. The new file's path;
    // empty when the envelope could not be written.
    std::string storeEnvelope(const DuviduEnvelope& envelope);
    // The stored envelope files, oldest first.
    std::vector<std::string> envelopePaths() const;
    // The oldest stored envelope that reads whole and that no one else has claimed, claimed (an exclusive flock on
    // the file) until the result goes: another process, or another claim in this one, passes it over meanwhile, and
    // the kernel lets the claim go when its process dies, so a dying sender loses nothing. Files that are refused, cut
    // short or damaged are deleted on the way and never block the files behind them.
    std::optional<DuviduFileContents> getOldestEnvelope();
    // Deletes the file; for a claimed envelope, before its claim goes. A file that cannot be deleted is passed over
    // by getOldestEnvelope in this process from then on.
    void removeFileAtPath(const std::string& path);
    // Lets the claim of an envelope that was not delivered go, after applying the cache limit (which deletes this
    // file too, when it is among the oldest beyond the limit, and tells the delegate).
    void releaseClaim(DuviduFileContents& contents);

    // The running session's file, "session.current". Reading gives nullptr when it is missing or unreadable.
    void storeCurrentSession(const DuviduSession& session);
    std::shared_ptr<DuviduSession> readCurrentSession();
    void deleteCurrentSession();
    // "session.crashed": the session that was running when the previous launch crashed.
    void storeCrashedSession(const DuviduSession& session);
    std::shared_ptr<DuviduSession> readCrashedSession();
    void deleteCrashedSession();

    // At SDK start: the stored application state, and the two breadcrumb files, take their "previous" names (an
    // older previous file is replaced; nothing happens for a file that is not there).
    void moveAppStateToPreviousAppState();
    void moveBreadcrumbsToPreviousBreadcrumbs();
    // "app.state": what the SDK knows of the application in this run. Reading gives nullptr when it is missing or
    // unreadable.
    void storeAppState(const DuviduAppState& appState);
    std::shared_ptr<DuviduAppState> readAppState();
    // "lastInForeground.timestamp": when the application last left the foreground, as ISO-8601 text. Reading gives
    // nullopt when it is missing or unreadable.
    void storeTimestampLastInForeground(DuviduDate timestamp);
    std::optional<DuviduDate> readTimestampLastInForeground();
    void deleteTimestampLastInForeground();

    const std::string& duviduPath() const { return duviduPath_; }
    const std::string& envelopesPath() const { return envelopesPath_; }
    const std::string& currentSessionFilePath() const { return currentSessionFilePath_; }
    const std::string& crashedSessionFilePath() const { return crashedSessionFilePath_; }
    const std::string& appStateFilePath() const { return appStateFilePath_; }
    const std::string& previousAppStateFilePath() const { return previousAppStateFilePath_; }
    const std::string& timestampLastInForegroundFilePath() const { return timestampLastInForegroundFilePath_; }
    const std::string& breadcrumbsFilePathOne() const { return breadcrumbsFilePathOne_; }
    const std::string& breadcrumbsFilePathTwo() const { return breadcrumbsFilePathTwo_; }
    const std::string& previousBreadcrumbsFilePathOne() const { return previousBreadcrumbsFilePathOne_; }
    const std::string& previousBreadcrumbsFilePathTwo() const { return previousBreadcrumbsFilePathTwo_; }

private:
    DuviduFileManager() = default;

    std::vector<std::string> envelopePathsLocked() const;
    // The time in the name of the newest stored envelope file; -1 when there is none.
    int64_t newestMicrosLocked() const;
    // Deletes the oldest files beyond the limit, each while holding its claim: those that no one else has claimed, and
    // the one whose claim is being released, if any. The envelopes that these deletions took, for the delegate: a file
    // is counted by the process whose delete took it, so never twice, and never one that was sent (its sender deletes
    // it before letting its claim go).
    std::vector<std::shared_ptr<DuviduEnvelope>> applyCacheLimitLocked(const DuviduFileContents* released = nullptr);
    void tellDelegate(const std::vector<std::shared_ptr<DuviduEnvelope>>& deleted);
    void storeSession(const DuviduSession& session, const std::string& path);
    std::shared_ptr<DuviduSession> readSession(const std::string& path);

    std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider_;
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper_;
    uint64_t maxEnvelopes_ = 0;
    std::atomic<uint64_t> currentFileCounter_{0};

    std::string duviduPath_, envelopesPath_, currentSessionFilePath_, crashedSessionFilePath_, appStateFilePath_,
        previousAppStateFilePath_, timestampLastInForegroundFilePath_, breadcrumbsFilePathOne_, breadcrumbsFilePathTwo_, previousBreadcrumbsFilePathOne_,
        previousBreadcrumbsFilePathTwo_;

    // Orders writes, the limit and reads of the envelopes folder, so that no file is deleted or counted twice.
    mutable std::mutex envelopesMutex_;
    std::mutex delegateMutex_;
    std::weak_ptr<DuviduFileManagerDelegate> delegate_;
};

}  // namespace duvidu
