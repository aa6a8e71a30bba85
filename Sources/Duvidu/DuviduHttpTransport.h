#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "Duvidu/DuviduDispatchBlock.h"
#include "Duvidu/DuviduDispatchQueueWrapper.h"
#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduLostEventStore.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduRateLimits.h"
#include "Duvidu/DuviduRequestManager.h"
#include "Duvidu/DuviduTransport.h"

namespace duvidu {

// Delivers envelopes over HTTP through the on-disk cache: every envelope is stored first, then the stored files go
// out oldest first, one at a time, on the transport's own serial queue. Any answer of the service deletes the file
// (a 429 or 503 also holds sending back for its "Retry-After"; an answer of 400 or above counts its items lost as
// "network_error"); without an answer the file stays, sending stops and a back-off timer (30 s, doubling up to
// 15 min, reset by any answer) tries again. Sending also starts with each new envelope, with flush, and when the
// transport is made (for the envelopes of earlier runs). Processes that share the cache folder each claim a file
// before sending it (see DuviduFileManager::getOldestEnvelope), so that each envelope goes out once; a file that
// cannot be deleted after its answer is not sent again by this process.
//
// An envelope that the cache cannot take (a full disk, a read-only folder) is sent once from memory, before the
// stored files; it counts as lost ("cache_overflow") only when that send gets no answer, when more than the cache
// limit of them wait (the oldest go), or when the transport goes before it was sent.
//
// Lost-event counts wait in the cache folder (DuviduLostEventStore) until the next envelope of any process takes
// them as its "client_report" item; when that envelope is lost or refused too, its counts go back.
//
// Dropping the transport ends a request under way at once (its file stays for the next run) and waits at most 1 s for
// the pass to leave. Closing it first keeps the whole of it, counts included, within one deadline (see close).
class DuviduHttpTransport : public DuviduTransport,
                            public DuviduFileManagerDelegate,
                            public std::enable_shared_from_this<DuviduHttpTransport> {
public:
    static constexpr double kInitialRetryDelaySeconds = 30;
    static constexpr double kMaxRetryDelaySeconds = 15 * 60;

    // Registers itself as the file manager's delegate and sends what an earlier run left in the cache.
    static std::shared_ptr<DuviduHttpTransport> make(std::shared_ptr<const DuviduOptions> options,
                                                     std::shared_ptr<DuviduFileManager> fileManager,
                                                     std::shared_ptr<DuviduRequestManager> requestManager,
                                                     std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper);
    ~DuviduHttpTransport() override;

    // Items of a category that is held back are dropped and counted ("ratelimit_backoff"); an envelope left with no
    // item is not stored. With sendClientReports the lost-event counts ride along as a "client_report" item. An
    // envelope larger than the cache takes counts as "cache_overflow"; one that cannot be stored otherwise waits in
    // memory for its one send.
    void sendEnvelope(const DuviduEnvelope& envelope) override;
    void recordLostEvent(DuviduDataCategory category, DuviduDiscardReason reason) override;
    // NaN and negative timeouts are no wait at all, here and in close.
    bool flush(double timeoutSeconds) override;
    // Flushes for nine tenths of the timeout, then ends the request under way (its file stays stored, its claim goes
    // with the cache limit applied) and sends nothing more; the closing write of the lost-event counts, when the
    // transport goes, waits for the cache folder only until the same deadline.
    void close(double timeoutSeconds) override;
    // Cache-limit deletions count as "cache_overflow".
    void envelopeDeleted(const DuviduEnvelope& envelope) override;

    // Starts a pass over the stored envelopes unless one is already waiting to start.
    void sendAllCachedEnvelopes();

private:
    DuviduHttpTransport() = default;

    // One pass: sends stored envelopes until the cache is empty, sending is held back, or a send gets no answer.
    // Holds the transport only between requests, so that dropping it can cancel the request under way.
    static void runPass(const std::weak_ptr<DuviduHttpTransport>& weak);
    // Counts every item of a lost envelope for the reason; the counts of its client report go back to the store.
    void recordEnvelopeLost(const DuviduEnvelope& envelope, DuviduDiscardReason reason);
    // Keeps an envelope that the cache could not take for its one send from memory.
    void keepUnstored(const DuviduEnvelope& envelope);
    // The oldest envelope waiting in memory, now under way; nullptr when none waits.
    std::shared_ptr<DuviduEnvelope> takeUnstored();
    // After the answer (or none) for the envelope taken from memory.
    void unstoredDone();
    void scheduleRetry(double delaySeconds);

    std::shared_ptr<const DuviduOptions> options_;
    std::shared_ptr<DuviduFileManager> fileManager_;
    std::shared_ptr<DuviduRequestManager> requestManager_;
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper_;
    DuviduRateLimits rateLimits_;

    std::unique_ptr<DuviduLostEventStore> lostEvents_;

    // Whether a pass waits in the queue: another trigger then has nothing to add.
    std::mutex passMutex_;
    bool passQueued_ = false;
    double retryDelay_ = kInitialRetryDelaySeconds;
    std::optional<DuviduDispatchBlock> retryBlock_;

    // Envelopes that the cache could not take, oldest first, with their sizes in bytes, and the one under way. At
    // most the cache limit of them, and together no more bytes than one envelope file may hold.
    std::mutex unstoredMutex_;
    std::deque<std::pair<std::shared_ptr<DuviduEnvelope>, size_t>> unstored_;
    size_t unstoredBytes_ = 0;
    std::shared_ptr<DuviduEnvelope> sendingUnstored_;
};

}  // namespace duvidu
