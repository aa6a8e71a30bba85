#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduAttachment.h"
#include "Duvidu/DuviduAttachmentProcessor.h"
#include "Duvidu/DuviduDataCategory.h"
#include "Duvidu/DuviduDebugImageProvider.h"
#include "Duvidu/DuviduDiscardReason.h"
#include "Duvidu/DuviduDispatchQueueWrapper.h"
#include "Duvidu/DuviduEnvelope.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduExtraContextProvider.h"
#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduRandomProtocol.h"
#include "Duvidu/DuviduSDKState.h"
#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduSession.h"
#include "Duvidu/DuviduThreadInspector.h"
#include "Duvidu/DuviduTraceContext.h"
#include "Duvidu/DuviduTransportAdapter.h"
#include "Duvidu/DuviduUserFeedback.h"
#include "Duvidu/NSError.h"
#include "Duvidu/NSException.h"
#include "Duvidu/NSLocale.h"
#include "Duvidu/NSTimeZone.h"

namespace duvidu {

// Turns what is reported to the SDK (an error, an exception, a message, a ready event) into a finished event and
// hands it to the transport adapter, which stores and sends it. Also forwards sessions, user feedback and
// envelopes, records lost events, flushes and closes. Captures run on the caller's thread; every one returns the id
// of the event handed on, or the empty id when nothing was sent. Safe from any thread: everything but isEnabled is
// fixed at construction.
class DuviduClient {
public:
    // Returns the hub's running session with its error count already raised, or nullptr; called once, only for an
    // event that survived preparation.
    using SessionBlock = std::function<std::shared_ptr<DuviduSession>()>;

    // ObjC: -[DuviduClient initWithOptions:] — a new dispatch queue, and the cache cleaned of old envelopes.
    // nullptr when the cache folder cannot be made ("Cannot init filesystem." is logged).
    static std::shared_ptr<DuviduClient> initWithOptions(std::shared_ptr<const DuviduOptions> options);
    // ObjC: -[DuviduClient initWithOptions:dispatchQueue:deleteOldEnvelopeItems:] — makes the file manager.
    static std::shared_ptr<DuviduClient> initWithOptions(std::shared_ptr<const DuviduOptions> options,
                                                         std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueue,
                                                         bool deleteOldEnvelopeItems);
    // ObjC: -[DuviduClient initWithOptions:fileManager:deleteOldEnvelopeItems:] — makes the transport and its
    // adapter.
    static std::shared_ptr<DuviduClient> initWithOptions(std::shared_ptr<const DuviduOptions> options,
                                                         std::shared_ptr<DuviduFileManager> fileManager,
                                                         bool deleteOldEnvelopeItems);
    // ObjC: -[DuviduClient initWithOptions:fileManager:deleteOldEnvelopeItems:transportAdapter:] — the thread
    // inspector, the shared extra context provider, the container's random source, the user's locale and the
    // system's time zone.
    static std::shared_ptr<DuviduClient> initWithOptions(std::shared_ptr<const DuviduOptions> options,
                                                         std::shared_ptr<DuviduFileManager> fileManager,
                                                         bool deleteOldEnvelopeItems,
                                                         std::shared_ptr<DuviduTransportAdapter> transportAdapter);
    // ObjC: -[DuviduClient initWithOptions:transportAdapter:fileManager:deleteOldEnvelopeItems:threadInspector:random:
    // locale:timezone:extraContextProvider:] — the debug image provider comes from the container. The facade's
    // state is the SDK's own unless a test gives another.
    DuviduClient(std::shared_ptr<const DuviduOptions> options, std::shared_ptr<DuviduTransportAdapter> transportAdapter,
                 std::shared_ptr<DuviduFileManager> fileManager, bool deleteOldEnvelopeItems,
                 std::shared_ptr<DuviduThreadInspector> threadInspector, std::shared_ptr<DuviduRandomProtocol> random,
                 std::shared_ptr<const NSLocale> locale, NSTimeZone timezone,
                 std::shared_ptr<DuviduExtraContextProvider> extraContextProvider,
                 std::shared_ptr<DuviduSDKState> sdkState = DuviduSDKState::facade());

    // Messages: level info; threads only when options.attachStacktrace is on (the default).
    DuviduId captureMessage(const std::string& message);
    DuviduId captureMessage(const std::string& message, const std::shared_ptr<DuviduScope>& scope);
    // Exceptions: level error, the exception's reason and name; threads attached.
    DuviduId captureException(const NSException& exception);
    DuviduId captureException(const NSException& exception, const std::shared_ptr<DuviduScope>& scope);
    DuviduId captureException(const NSException& exception, const std::shared_ptr<DuviduScope>& scope,
                              const SessionBlock& incrementSessionErrors);
    // Errors: level error, an exception of the error's domain and code with the mechanism "NSError"; threads
    // attached.
    DuviduId captureError(const NSError& error);
    DuviduId captureError(const NSError& error, const std::shared_ptr<DuviduScope>& scope);
    DuviduId captureError(const NSError& error, const std::shared_ptr<DuviduScope>& scope,
                          const SessionBlock& incrementSessionErrors);
    // Ready events, as they are.
    DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event);
    DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope);
    DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope,
                          const std::vector<DuviduEnvelopeItem>& additionalEnvelopeItems);
    // Events made from crash reports: no threads of this process, no culture or extra device context.
    DuviduId captureCrashEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope);
    DuviduId captureCrashEvent(const std::shared_ptr<DuviduEvent>& event,
                               const std::shared_ptr<DuviduSession>& session,
                               const std::shared_ptr<DuviduScope>& scope);

    // A session with a release name, in an envelope of its own; others are logged and dropped.
    void captureSession(const std::shared_ptr<DuviduSession>& session);
    void captureEnvelope(const DuviduEnvelope& envelope);
    void captureUserFeedback(const DuviduUserFeedback& userFeedback);
    // Writes the envelope to the cache for a later send, even while disabled.
    void storeEnvelope(const DuviduEnvelope& envelope);
    void recordLostEvent(DuviduDataCategory category, DuviduDiscardReason reason);
    // Waits up to the timeout in seconds for pending sends.
    void flush(double timeout);
    // Stops accepting events, then closes the transport: flushing and keeping what must outlive it (the lost-event
    // counts) share `timeout` seconds, without one options.shutdownTimeInterval. close() is close(std::nullopt), a
    // function of its own for programs built against an earlier version.
    void close();
    void close(std::optional<double> timeout);

    bool isEnabled() const { return isEnabled_.load(); }
    // Closed, switched off by the options, or without a parsed DSN.
    bool isDisabled() const;

    void addAttachmentProcessor(std::shared_ptr<DuviduAttachmentProcessor> processor);
    void removeAttachmentProcessor(const std::shared_ptr<DuviduAttachmentProcessor>& processor);

    const std::shared_ptr<const DuviduOptions>& options() const { return options_; }
    const std::shared_ptr<DuviduTransportAdapter>& transportAdapter() const { return transportAdapter_; }
    const std::shared_ptr<DuviduFileManager>& fileManager() const { return fileManager_; }
    const std::shared_ptr<DuviduThreadInspector>& threadInspector() const { return threadInspector_; }

private:
    std::shared_ptr<DuviduEvent> buildErrorEvent(const NSError& error) const;
    std::shared_ptr<DuviduEvent> buildExceptionEvent(const NSException& exception) const;

    DuviduId sendEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope,
                       bool alwaysAttachStacktrace, bool isCrashEvent = false,
                       const std::vector<DuviduEnvelopeItem>& additionalEnvelopeItems = {});
    DuviduId sendEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduSession>& session,
                       const std::shared_ptr<DuviduScope>& scope);
    DuviduId captureWithSession(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope,
                                const SessionBlock& incrementSessionErrors);
    std::shared_ptr<DuviduEvent> prepareEvent(std::shared_ptr<DuviduEvent> event,
                                              const std::shared_ptr<DuviduScope>& scope, bool alwaysAttachStacktrace,
                                              bool isCrashEvent = false);

    bool isSampled(const std::optional<double>& rate) const;
    void setSdk(DuviduEvent& event) const;
    void attachThreads(DuviduEvent& event, bool alwaysAttachStacktrace) const;
    void applyCultureContext(DuviduEvent& event) const;
    void applyExtraDeviceContext(DuviduEvent& event) const;
    std::shared_ptr<DuviduEvent> callEventProcessors(std::shared_ptr<DuviduEvent> event) const;
    void recordLost(bool isTransaction, DuviduDiscardReason reason);
    std::shared_ptr<const DuviduTraceContext> getTraceState(const DuviduEvent& event,
                                                            const std::shared_ptr<DuviduScope>& scope) const;
    std::vector<DuviduAttachment> attachmentsFor(const DuviduEvent& event,
                                                 const std::shared_ptr<DuviduScope>& scope) const;
    void logDisabledMessage() const;

    std::atomic<bool> isEnabled_{true};
    std::shared_ptr<const DuviduOptions> options_;
    std::shared_ptr<DuviduTransportAdapter> transportAdapter_;
    std::shared_ptr<DuviduDebugImageProvider> debugImageProvider_;
    std::shared_ptr<DuviduRandomProtocol> random_;
    std::shared_ptr<const NSLocale> locale_;
    NSTimeZone timezone_;
    std::shared_ptr<DuviduExtraContextProvider> extraContextProvider_;
    mutable std::mutex attachmentProcessorsMutex_;
    std::vector<std::shared_ptr<DuviduAttachmentProcessor>> attachmentProcessors_;
    std::shared_ptr<DuviduThreadInspector> threadInspector_;
    std::shared_ptr<DuviduFileManager> fileManager_;
    std::shared_ptr<DuviduSDKState> sdkState_;
};

}  // namespace duvidu
