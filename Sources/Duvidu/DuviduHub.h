#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Duvidu/DuviduBaseIntegration.h"
#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduClient.h"
#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduCurrentDateProvider.h"
#include "Duvidu/DuviduEnvelope.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduProfilesSampler.h"
#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduSession.h"
#include "Duvidu/DuviduTracer.h"
#include "Duvidu/DuviduTracerConfiguration.h"
#include "Duvidu/DuviduTracerHub.h"
#include "Duvidu/DuviduTracesSampler.h"
#include "Duvidu/DuviduTransaction.h"
#include "Duvidu/DuviduTransactionContext.h"
#include "Duvidu/DuviduUser.h"
#include "Duvidu/DuviduUserFeedback.h"
#include "Duvidu/NSError.h"
#include "Duvidu/NSException.h"

namespace duvidu {

// The one object through which everything is reported: it binds a client to a scope and passes the scope into
// every capture, owns the running release-health session and the count of errors seen while none ran, and keeps the
// registry of installed integrations. Without a client every capture answers the empty id and sends nothing.
//
// Locks: the scope lock (only while making the scope), the session lock and the integrations lock; the hub never
// holds two of them at once. The bound client is read under a lock of its own into a local at the start of every
// operation, so that an unbinding on another thread never leaves an operation with a half-read pointer.
class DuviduHub : public DuviduTracerHub, public std::enable_shared_from_this<DuviduHub> {
public:
    using ScopeBlock = std::function<void(DuviduScope&)>;
    using IsKindOf = std::function<bool(const DuviduBaseIntegration&)>;

    // ObjC: -[DuviduHub initWithClient:andScope:] — either may be absent. The clock is the machine's.
    DuviduHub(std::shared_ptr<DuviduClient> client, std::shared_ptr<DuviduScope> scope);
    // ObjC: -[DuviduHub initWithClient:andScope:andCrashWrapper:andCurrentDateProvider:]
    DuviduHub(std::shared_ptr<DuviduClient> client, std::shared_ptr<DuviduScope> scope,
              std::shared_ptr<DuviduCrashWrapper> crashWrapper,
              std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider);
    DuviduHub(const DuviduHub&) = delete;
    DuviduHub& operator=(const DuviduHub&) = delete;

    std::shared_ptr<DuviduClient> getClient() const;
    // nullptr unbinds.
    void bindClient(std::shared_ptr<DuviduClient> client);
    // Made on first read, with the client's breadcrumb cap (100 without a client).
    std::shared_ptr<DuviduScope> scope() override;
    // The block runs only while a client is bound.
    void configureScope(const ScopeBlock& block);
    // Works without a client.
    void setUser(std::optional<DuviduUser> user);
    // Nothing without a client or with a breadcrumb cap of 0; beforeBreadcrumb may change or drop it.
    void addBreadcrumb(const DuviduBreadcrumb& breadcrumb);

    DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event);
    DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope);
    DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope,
                          const std::vector<DuviduEnvelopeItem>& additionalEnvelopeItems);
    DuviduId captureMessage(const std::string& message);
    DuviduId captureMessage(const std::string& message, const std::shared_ptr<DuviduScope>& scope);
    // Errors and exceptions count into the running session when the client sends them; while no session runs they
    // count into errorsBeforeSession, sent or not.
    DuviduId captureError(const NSError& error);
    DuviduId captureError(const NSError& error, const std::shared_ptr<DuviduScope>& scope);
    DuviduId captureException(const NSException& exception);
    DuviduId captureException(const NSException& exception, const std::shared_ptr<DuviduScope>& scope);
    // Marks the event as a crash event; with automatic session tracking it carries the session stored as crashed,
    // which is then deleted. That file is claimed meanwhile: while another process holds it, the event goes without.
    void captureCrashEvent(const std::shared_ptr<DuviduEvent>& event);
    void captureCrashEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope);
    // With automatic session tracking, sends the session stored as crashed on its own and deletes it, when no crash
    // event took it: the crash it ended went out with a process that started before it was stored. Claimed as for
    // captureCrashEvent, so that of the processes that start at once one sends it.
    void captureCrashedSessionLeftOver();
    void captureUserFeedback(const DuviduUserFeedback& userFeedback);
    // An envelope carrying an event of level error or fatal counts into the running session and gets the session's
    // update appended.
    void captureEnvelope(const DuviduEnvelope& envelope);

    // A transaction whose trace was not sampled is counted lost and not sent.
    DuviduId captureTransaction(const std::shared_ptr<DuviduTransaction>& transaction,
                                const std::shared_ptr<DuviduScope>& scope) override;
    DuviduId captureTransaction(const std::shared_ptr<DuviduTransaction>& transaction,
                                const std::shared_ptr<DuviduScope>& scope,
                                const std::vector<DuviduEnvelopeItem>& additionalEnvelopeItems);

    // A new transaction (name source custom, origin "manual"), sampled by the traces and profiles samplers; bound
    // to the scope as its span when asked.
    std::shared_ptr<DuviduTracer> startTransactionWithName(const std::string& name, const std::string& operation,
                                                           bool bindToScope = false);
    std::shared_ptr<DuviduTracer> startTransactionWithContext(
        const DuviduTransactionContext& transactionContext, bool bindToScope = false,
        const Value::Object& customSamplingContext = {},
        DuviduTracerConfiguration configuration = DuviduTracerConfiguration::defaultConfiguration());
    std::shared_ptr<DuviduTracer> startTransactionWithContext(const DuviduTransactionContext& transactionContext,
                                                              const Value::Object& customSamplingContext);
    // The context with the given decision in place of its own.
    static DuviduTransactionContext transactionContext(const DuviduTransactionContext& context,
                                                       DuviduSampleDecision sampled);

    // A new session (ended sessions are sent too): the new one reaches the client before the old one's end.
    void startSession();
    void endSession();
    void endSessionWithTimestamp(DuviduDate timestamp);
    // Ends the session stored by the previous run: exited at the timestamp, or abnormal at its own start without
    // one. Left alone when the previous run crashed.
    void closeCachedSessionWithTimestamp(const std::optional<DuviduDate>& timestamp);
    void captureSession(const std::shared_ptr<DuviduSession>& session);
    // A copy of the running session after its error count rose, or nullptr when none runs.
    std::shared_ptr<DuviduSession> incrementSessionErrors();
    void storeCurrentSession(const DuviduSession& session);
    void deleteCurrentSession();
    DuviduEnvelope updateSessionState(const DuviduEnvelope& envelope);
    static bool envelopeContainsEventWithErrorOrHigher(const std::vector<DuviduEnvelopeItem>& items);
    // The running session, nullptr when none runs.
    std::shared_ptr<DuviduSession> session() const;
    uint64_t errorsBeforeSession() const { return errorsBeforeSession_.load(); }

    // Whether some installed integration is of the class (or a subclass) that the predicate recognises.
    bool isIntegrationInstalled(const IsKindOf& isKindOf) const;
    bool hasIntegration(const std::string& name) const;
    void addInstalledIntegration(std::shared_ptr<DuviduBaseIntegration> integration, const std::string& name);
    void removeAllIntegrations();
    // In installation order.
    std::vector<std::shared_ptr<DuviduBaseIntegration>> installedIntegrations() const;
    std::set<std::string> installedIntegrationNames() const;

    void flush(double timeout);
    // Closes the client (which flushes, for `timeout` seconds or the options' shutdownTimeInterval); the client stays
    // bound. close() is close(std::nullopt), a function of its own for programs built against an earlier version.
    void close();
    void close(std::optional<double> timeout);
    // Nothing on this platform.
    void reportFullyDisplayed() {}

private:
    std::shared_ptr<DuviduFileManager> fileManager() const;

    mutable std::recursive_mutex sessionLock_;
    mutable std::mutex integrationsLock_;
    std::mutex scopeLock_;
    std::shared_ptr<DuviduScope> scope_;
    mutable std::mutex clientLock_;
    std::shared_ptr<DuviduClient> client_;
    std::shared_ptr<DuviduSession> session_;
    std::shared_ptr<DuviduCrashWrapper> crashWrapper_;
    std::shared_ptr<DuviduTracesSampler> tracesSampler_;
    std::shared_ptr<DuviduProfilesSampler> profilesSampler_;
    std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider_;
    std::vector<std::shared_ptr<DuviduBaseIntegration>> installedIntegrations_;
    std::set<std::string> installedIntegrationNames_;
    std::atomic<uint64_t> errorsBeforeSession_{0};
};

}  // namespace duvidu
