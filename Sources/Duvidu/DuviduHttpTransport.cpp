#include "Duvidu/DuviduHttpTransport.h"

#include <algorithm>
#include <chrono>

#include "Duvidu/DuviduClientReport.h"
#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduNSURLRequestBuilder.h"
#include "Duvidu/DuviduSerialization.h"

namespace duvidu {

namespace {

// The longest that closing waits for the lost-event counts to be written, whatever the shutdown time says.
constexpr double kMaxClosingWaitSeconds = 3600;
// The longest that a flush waits, whatever it is asked: longer makes no difference in practice.
constexpr double kMaxFlushSeconds = 1e9;

// A timeout in seconds as given by a caller or the options, as a duration of at most `limitSeconds`; NaN and negative
// values are no wait at all.
std::chrono::steady_clock::duration timeoutDuration(double seconds, double limitSeconds)
{
    if (!(seconds > 0)) return {};
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(seconds, limitSeconds)));
}

}  // namespace

std::shared_ptr<DuviduHttpTransport> DuviduHttpTransport::make(
    std::shared_ptr<const DuviduOptions> options, std::shared_ptr<DuviduFileManager> fileManager,
    std::shared_ptr<DuviduRequestManager> requestManager,
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper)
{
    std::shared_ptr<DuviduHttpTransport> transport(new DuviduHttpTransport());
    transport->options_ = std::move(options);
    transport->fileManager_ = std::move(fileManager);
    transport->requestManager_ = std::move(requestManager);
    transport->dispatchQueueWrapper_ = std::move(dispatchQueueWrapper);
    // The lost-event counts that are left when the transport goes may wait for another process as long as closing does.
    transport->lostEvents_ = std::make_unique<DuviduLostEventStore>(
        transport->fileManager_->duviduPath(),
        timeoutDuration(transport->options_->shutdownTimeInterval, kMaxClosingWaitSeconds));
    transport->fileManager_->setDelegate(transport);
    transport->sendAllCachedEnvelopes();
    return transport;
}

DuviduHttpTransport::~DuviduHttpTransport()
{
    // A pass blocked on a silent server must not hold up whoever drops the transport; the file stays stored.
    requestManager_->cancel();
    // The pass under way now ends at once; waiting for it keeps it from outliving the one who dropped the transport
    // (at process exit, the SDK's own statics). Dropped on its own queue, the transport cannot wait and does not.
    dispatchQueueWrapper_->queue()->waitUntilIdle(std::chrono::seconds(1));
    // What waits in memory is gone with the transport.
    std::lock_guard lock(unstoredMutex_);
    if (sendingUnstored_) recordEnvelopeLost(*sendingUnstored_, DuviduDiscardReason::CacheOverflow);
    for (const auto& [envelope, size] : unstored_) recordEnvelopeLost(*envelope, DuviduDiscardReason::CacheOverflow);
}

void DuviduHttpTransport::sendEnvelope(const DuviduEnvelope& envelope)
{
    std::vector<DuviduEnvelopeItem> items;
    for (const auto& item : envelope.items()) {
        const auto& type = item.header()->type();
        const auto category = dataCategoryForEnvelopeItemType(type);
        if (!rateLimits_.isRateLimitActive(category)) {
            items.push_back(item);
        } else if (type != "client_report") {
            recordLostEvent(category, DuviduDiscardReason::RateLimitBackoff);
        }
    }
    if (items.empty()) {
        DUVIDU_LOG_DEBUG("Every item of the envelope is rate limited; the envelope is dropped.");
        return;
    }

    if (options_->sendClientReports) {
        if (auto counts = lostEvents_->take(); !counts.empty()) items.emplace_back(DuviduClientReport(std::move(counts)));
    }
    const DuviduEnvelope stored(envelope.header(), std::move(items));
    if (fileManager_->storeEnvelope(stored).empty()) keepUnstored(stored);
    sendAllCachedEnvelopes();
}

void DuviduHttpTransport::keepUnstored(const DuviduEnvelope& envelope)
{
    const auto data = DuviduSerialization::dataWithEnvelope(envelope);
    if (!data || data->size() > kDuviduEnvelopeFileLimit) {
        recordEnvelopeLost(envelope, DuviduDiscardReason::CacheOverflow);
        return;
    }
    DUVIDU_LOG_DEBUG("The cache could not take the envelope; it is sent from memory.");
    std::vector<std::shared_ptr<DuviduEnvelope>> dropped;
    {
        std::lock_guard lock(unstoredMutex_);
        unstored_.emplace_back(std::make_shared<DuviduEnvelope>(envelope), data->size());
        unstoredBytes_ += data->size();
        while (unstored_.size() > std::max<uint64_t>(options_->maxCacheItems, 1) ||
               unstoredBytes_ > kDuviduEnvelopeFileLimit) {
            unstoredBytes_ -= unstored_.front().second;
            dropped.push_back(std::move(unstored_.front().first));
            unstored_.pop_front();
        }
    }
    for (const auto& lost : dropped) recordEnvelopeLost(*lost, DuviduDiscardReason::CacheOverflow);
}

std::shared_ptr<DuviduEnvelope> DuviduHttpTransport::takeUnstored()
{
    std::lock_guard lock(unstoredMutex_);
    if (unstored_.empty()) return nullptr;
    sendingUnstored_ = std::move(unstored_.front().first);
    unstoredBytes_ -= unstored_.front().second;
    unstored_.pop_front();
    return sendingUnstored_;
}

void DuviduHttpTransport::unstoredDone()
{
    std::lock_guard lock(unstoredMutex_);
    sendingUnstored_.reset();
}

void DuviduHttpTransport::recordLostEvent(DuviduDataCategory category, DuviduDiscardReason reason)
{
    if (options_->sendClientReports) lostEvents_->add({DuviduDiscardedEvent(reason, category, 1)});
}

void DuviduHttpTransport::envelopeDeleted(const DuviduEnvelope& envelope)
{
    recordEnvelopeLost(envelope, DuviduDiscardReason::CacheOverflow);
}

void DuviduHttpTransport::recordEnvelopeLost(const DuviduEnvelope& envelope, DuviduDiscardReason reason)
{
    if (!options_->sendClientReports) return;
    std::vector<DuviduDiscardedEvent> lost;
    for (const auto& item : envelope.items()) {
        const auto& type = item.header()->type();
        if (type != "client_report") {
            lost.emplace_back(reason, dataCategoryForEnvelopeItemType(type), 1);
            continue;
        }
        auto json = DuviduSerialization::JSONObjectWithData(item.data().data(), item.data().size());
        if (json && json->isObject()) {
            auto counts = DuviduDiscardedEvent::listFromClientReport(*json->asObject());
            lost.insert(lost.end(), counts.begin(), counts.end());
        }
    }
    lostEvents_->add(lost);
}

bool DuviduHttpTransport::flush(double timeoutSeconds)
{
    DUVIDU_LOG_DEBUG("Flushing for at most " + std::to_string(timeoutSeconds) + " seconds.");
    sendAllCachedEnvelopes();
    const bool idle = dispatchQueueWrapper_->queue()->waitUntilIdle(timeoutDuration(timeoutSeconds, kMaxFlushSeconds));
    if (!idle) DUVIDU_LOG_DEBUG("Flushing timed out.");
    return idle;
}

void DuviduHttpTransport::close(double timeoutSeconds)
{
    using Clock = DuviduDispatchQueue::Clock;
    const auto timeout = timeoutDuration(timeoutSeconds, kMaxClosingWaitSeconds);
    const auto deadline = Clock::now() + timeout;
    lostEvents_->setClosingDeadline(deadline);
    DUVIDU_LOG_DEBUG("Closing: sending for at most " + std::to_string(std::chrono::duration<double>(timeout).count()) +
                     " seconds.");
    sendAllCachedEnvelopes();
    // Sending gets all but a tenth of the time; what it leaves is for letting go of what is under way and for the
    // closing write of the lost-event counts.
    if (dispatchQueueWrapper_->queue()->waitUntilIdle(timeout - timeout / 10)) return;
    // The request under way ends now: its file stays, and its claim goes with the cache limit applied (see runPass),
    // so that the other processes' files that the limit left to this one do not stay beyond it.
    DUVIDU_LOG_DEBUG("Closing: sending did not finish in time; the envelope under way is kept for later.");
    requestManager_->cancel();
    dispatchQueueWrapper_->queue()->waitUntilIdle(std::max<Clock::duration>(deadline - Clock::now(), {}));
}

void DuviduHttpTransport::sendAllCachedEnvelopes()
{
    {
        std::lock_guard lock(passMutex_);
        if (passQueued_) return;
        passQueued_ = true;
    }
    dispatchQueueWrapper_->dispatchAsyncWithBlock([weak = weak_from_this()] { runPass(weak); });
}

void DuviduHttpTransport::runPass(const std::weak_ptr<DuviduHttpTransport>& weak)
{
    if (auto self = weak.lock()) {
        std::lock_guard lock(self->passMutex_);
        self->passQueued_ = false;
    }
    for (;;) {
        // Either an envelope from memory or a claimed file.
        std::shared_ptr<DuviduEnvelope> envelope;
        std::optional<DuviduFileContents> next;
        std::optional<DuviduHttpRequest> request;
        std::shared_ptr<DuviduRequestManager> requestManager;
        {
            auto self = weak.lock();
            if (!self) return;
            const auto dsn = self->options_->parsedDsn();
            if (!dsn) return;
            if (auto end = self->rateLimits_.limitEnd(DuviduDataCategory::All)) {
                // Everything is held back: the files wait, and sending resumes when the limit ends.
                self->scheduleRetry(std::chrono::duration<double>(*end - DuviduCurrentDate::date()).count());
                return;
            }
            envelope = self->takeUnstored();
            if (!envelope) {
                next = self->fileManager_->getOldestEnvelope();
                if (!next) return;
                envelope = next->envelope;
            }
            envelope->header().setSentAt(DuviduCurrentDate::date());
            request = DuviduNSURLRequestBuilder::createEnvelopeRequest(*envelope, *dsn);
            if (!request) {
                // Read back whole but cannot be written again: it never will be, so it must not block the others.
                if (next) {
                    self->fileManager_->removeFileAtPath(next->path);
                } else {
                    self->recordEnvelopeLost(*envelope, DuviduDiscardReason::CacheOverflow);
                    self->unstoredDone();
                }
                continue;
            }
            requestManager = self->requestManager_;
        }

        DUVIDU_LOG_DEBUG("Sending the envelope " + (next ? next->path : std::string("kept in memory")));
        auto response = requestManager->send(*request);

        auto self = weak.lock();
        if (!self) return;
        if (!response) {
            if (!next) {
                self->recordEnvelopeLost(*envelope, DuviduDiscardReason::CacheOverflow);
                self->unstoredDone();
            } else {
                self->fileManager_->releaseClaim(*next);
            }
            DUVIDU_LOG_DEBUG(next ? "No answer for the envelope; it stays stored." : "No answer for the envelope.");
            std::unique_lock lock(self->passMutex_);
            const double delay = self->retryDelay_;
            self->retryDelay_ = std::min(self->retryDelay_ * 2, kMaxRetryDelaySeconds);
            lock.unlock();
            self->scheduleRetry(delay);
            return;
        }
        DUVIDU_LOG_DEBUG("The envelope was answered with status code " + std::to_string(response->statusCode) + ".");
        {
            std::lock_guard lock(self->passMutex_);
            self->retryDelay_ = kInitialRetryDelaySeconds;
        }
        self->rateLimits_.update(*response);
        // The service did not take it, and it is not sent again.
        if (response->statusCode >= 400) self->recordEnvelopeLost(*envelope, DuviduDiscardReason::NetworkError);
        if (next) self->fileManager_->removeFileAtPath(next->path);
        else self->unstoredDone();
    }
}

void DuviduHttpTransport::scheduleRetry(double delaySeconds)
{
    DuviduDispatchBlock block([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->sendAllCachedEnvelopes();
    });
    {
        std::lock_guard lock(passMutex_);
        if (retryBlock_) dispatchQueueWrapper_->dispatchCancel(*retryBlock_);
        retryBlock_ = block;
    }
    dispatchQueueWrapper_->dispatchAfter(delaySeconds, [block] { block(); });
}

}  // namespace duvidu
