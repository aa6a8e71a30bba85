#include "Duvidu/DuviduHub.h"

#include <algorithm>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduFileLock.h"
#include "Duvidu/DuviduInstallation.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSerialization.h"
#include "DuviduCrash/Recording/DuviduCrashC.h"

namespace duvidu {

DuviduHub::DuviduHub(std::shared_ptr<DuviduClient> client, std::shared_ptr<DuviduScope> scope)
    : scope_(std::move(scope)), client_(std::move(client)), crashWrapper_(DuviduCrashWrapper::sharedInstance()),
      currentDateProvider_(DuviduDefaultCurrentDateProvider::sharedInstance())
{
    auto options = client_ ? client_->options() : nullptr;
    tracesSampler_ = std::make_shared<DuviduTracesSampler>(options);
    if (options && options->isProfilingEnabled()) profilesSampler_ = std::make_shared<DuviduProfilesSampler>(options);
}

DuviduHub::DuviduHub(std::shared_ptr<DuviduClient> client, std::shared_ptr<DuviduScope> scope,
                     std::shared_ptr<DuviduCrashWrapper> crashWrapper,
                     std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider)
    : DuviduHub(std::move(client), std::move(scope))
{
    crashWrapper_ = std::move(crashWrapper);
    currentDateProvider_ = std::move(currentDateProvider);
}

// MARK: client and scope

std::shared_ptr<DuviduClient> DuviduHub::getClient() const
{
    std::lock_guard lock(clientLock_);
    return client_;
}

void DuviduHub::bindClient(std::shared_ptr<DuviduClient> client)
{
    std::lock_guard lock(clientLock_);
    client_ = std::move(client);
}

std::shared_ptr<DuviduScope> DuviduHub::scope()
{
    std::lock_guard lock(scopeLock_);
    if (!scope_) {
        auto client = getClient();
        scope_ = client ? std::make_shared<DuviduScope>(client->options()->scopeBreadcrumbCap())
                        : std::make_shared<DuviduScope>();
    }
    return scope_;
}

void DuviduHub::configureScope(const ScopeBlock& block)
{
    auto scope = this->scope();
    if (getClient()) block(*scope);
}

void DuviduHub::setUser(std::optional<DuviduUser> user)
{
    scope()->setUser(std::move(user));
}

void DuviduHub::addBreadcrumb(const DuviduBreadcrumb& breadcrumb)
{
    auto client = getClient();
    if (!client || client->options()->maxBreadcrumbs == 0) return;
    const auto& options = client->options();
    auto crumb = std::make_shared<DuviduBreadcrumb>(breadcrumb);
    if (options->beforeBreadcrumb) crumb = options->beforeBreadcrumb(crumb);
    if (!crumb) {
        DUVIDU_LOG_DEBUG("Discarded Breadcrumb in `beforeBreadcrumb`");
        return;
    }
    scope()->addBreadcrumb(*crumb);
}

// MARK: captures

DuviduId DuviduHub::captureEvent(const std::shared_ptr<DuviduEvent>& event)
{
    return captureEvent(event, scope());
}

DuviduId DuviduHub::captureEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope)
{
    return captureEvent(event, scope, {});
}

DuviduId DuviduHub::captureEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope,
                                 const std::vector<DuviduEnvelopeItem>& additionalEnvelopeItems)
{
    auto client = getClient();
    if (!client) return DuviduId::empty();
    return client->captureEvent(event, scope, additionalEnvelopeItems);
}

DuviduId DuviduHub::captureMessage(const std::string& message)
{
    return captureMessage(message, scope());
}

DuviduId DuviduHub::captureMessage(const std::string& message, const std::shared_ptr<DuviduScope>& scope)
{
    auto client = getClient();
    if (!client) return DuviduId::empty();
    return client->captureMessage(message, scope);
}

DuviduId DuviduHub::captureError(const NSError& error)
{
    return captureError(error, scope());
}

DuviduId DuviduHub::captureError(const NSError& error, const std::shared_ptr<DuviduScope>& scope)
{
    auto client = getClient();
    if (!client) return DuviduId::empty();
    if (session()) return client->captureError(error, scope, [this] { return incrementSessionErrors(); });
    ++errorsBeforeSession_;
    return client->captureError(error, scope);
}

DuviduId DuviduHub::captureException(const NSException& exception)
{
    return captureException(exception, scope());
}

DuviduId DuviduHub::captureException(const NSException& exception, const std::shared_ptr<DuviduScope>& scope)
{
    auto client = getClient();
    if (!client) return DuviduId::empty();
    if (session()) return client->captureException(exception, scope, [this] { return incrementSessionErrors(); });
    ++errorsBeforeSession_;
    return client->captureException(exception, scope);
}

void DuviduHub::captureCrashEvent(const std::shared_ptr<DuviduEvent>& event)
{
    captureCrashEvent(event, scope());
}

void DuviduHub::captureCrashEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope)
{
    event->isCrashEvent = true;
    auto client = getClient();
    if (!client) return;
    if (client->options()->enableAutoSessionTracking) {
        // Claimed until it is deleted: of the processes that send crashes of the same cache at once, one sends it.
        auto fileManager = client->fileManager();
        auto claim = DuviduFileLock::acquire(fileManager->crashedSessionFilePath());
        if (auto crashedSession = claim ? fileManager->readCrashedSession() : nullptr) {
            client->captureCrashEvent(event, crashedSession, scope);
            fileManager->deleteCrashedSession();
            return;
        }
    }
    client->captureCrashEvent(event, scope);
}

void DuviduHub::captureCrashedSessionLeftOver()
{
    auto client = getClient();
    if (!client || !client->options()->enableAutoSessionTracking) return;
    auto fileManager = client->fileManager();
    auto claim = DuviduFileLock::acquire(fileManager->crashedSessionFilePath());
    if (auto crashedSession = claim ? fileManager->readCrashedSession() : nullptr) {
        client->captureSession(crashedSession);
        fileManager->deleteCrashedSession();
    }
}

void DuviduHub::captureUserFeedback(const DuviduUserFeedback& userFeedback)
{
    if (auto client = getClient()) client->captureUserFeedback(userFeedback);
}

void DuviduHub::captureEnvelope(const DuviduEnvelope& envelope)
{
    auto client = getClient();
    if (!client) return;
    client->captureEnvelope(updateSessionState(envelope));
}

DuviduId DuviduHub::captureTransaction(const std::shared_ptr<DuviduTransaction>& transaction,
                                      const std::shared_ptr<DuviduScope>& scope)
{
    return captureTransaction(transaction, scope, {});
}

DuviduId DuviduHub::captureTransaction(const std::shared_ptr<DuviduTransaction>& transaction,
                                      const std::shared_ptr<DuviduScope>& scope,
                                      const std::vector<DuviduEnvelopeItem>& additionalEnvelopeItems)
{
    auto client = getClient();
    if (!client) return DuviduId::empty();
    if (!transaction->trace() || transaction->trace()->sampled() != DuviduSampleDecision::Yes) {
        client->recordLostEvent(DuviduDataCategory::Transaction, DuviduDiscardReason::SampleRate);
        return DuviduId::empty();
    }
    return client->captureEvent(transaction, scope, additionalEnvelopeItems);
}

// MARK: transactions

std::shared_ptr<DuviduTracer> DuviduHub::startTransactionWithName(const std::string& name,
                                                                  const std::string& operation, bool bindToScope)
{
    return startTransactionWithContext(
        DuviduTransactionContext(name, DuviduTransactionNameSource::Custom, operation, "manual"), bindToScope);
}

std::shared_ptr<DuviduTracer> DuviduHub::startTransactionWithContext(const DuviduTransactionContext& transactionContext,
                                                                     const Value::Object& customSamplingContext)
{
    return startTransactionWithContext(transactionContext, false, customSamplingContext);
}

std::shared_ptr<DuviduTracer> DuviduHub::startTransactionWithContext(const DuviduTransactionContext& transactionContext,
                                                                     bool bindToScope,
                                                                     const Value::Object& customSamplingContext,
                                                                     DuviduTracerConfiguration configuration)
{
    DuviduSamplingContext samplingContext(transactionContext, customSamplingContext);
    auto tracesDecision = tracesSampler_->sample(samplingContext);
    auto context = this->transactionContext(transactionContext, tracesDecision.decision);
    context.sampleRate = tracesDecision.sampleRate;
    if (profilesSampler_) {
        configuration.setProfilesSamplerDecision(profilesSampler_->sample(samplingContext, tracesDecision));
    }
    auto tracer = std::make_shared<DuviduTracer>(std::move(context), shared_from_this(), std::move(configuration));
    if (bindToScope) scope()->setSpan(tracer);
    return tracer;
}

DuviduTransactionContext DuviduHub::transactionContext(const DuviduTransactionContext& context,
                                                       DuviduSampleDecision sampled)
{
    return DuviduTransactionContext(context.name, context.nameSource, context.operation, context.origin,
                                    context.traceId, context.spanId, context.parentSpanId, sampled,
                                    context.parentSampled);
}

// MARK: sessions

std::shared_ptr<DuviduSession> DuviduHub::session() const
{
    std::lock_guard lock(sessionLock_);
    return session_;
}

void DuviduHub::startSession()
{
    auto scope = this->scope();
    auto client = getClient();
    auto options = client ? client->options() : nullptr;
    if (!options || !options->releaseName) {
        DUVIDU_LOG_BARE(DuviduLevel::Error, "No option or release to start a session.");
        return;
    }

    std::shared_ptr<DuviduSession> previous;
    {
        std::lock_guard lock(sessionLock_);
        previous = session_;
        session_ = std::make_shared<DuviduSession>(options->releaseName, DuviduInstallation::id().value_or(""));
        // Taken and cleared in one step: an error counted meanwhile on another thread is not lost.
        if (options->enableAutoSessionTracking) {
            if (uint64_t errors = errorsBeforeSession_.exchange(0); errors > 0) session_->setErrors(errors);
        }
        session_->setEnvironment(options->environment);
        scope->applyToSession(*session_);
        // A crash from now on names this session as the crashed run's.
        duviducrash_setCurrentSessionId(session_->sessionId().duviduIdString());
        storeCurrentSession(*session_);
        captureSession(session_);
    }
    if (previous) {
        previous->endSessionExitedWithTimestamp(currentDateProvider_->date());
        captureSession(previous);
    }
}

void DuviduHub::endSession()
{
    endSessionWithTimestamp(currentDateProvider_->date());
}

void DuviduHub::endSessionWithTimestamp(DuviduDate timestamp)
{
    std::shared_ptr<DuviduSession> ended;
    {
        std::lock_guard lock(sessionLock_);
        ended = std::move(session_);
        errorsBeforeSession_ = 0;
        deleteCurrentSession();
        duviducrash_setCurrentSessionId("");
    }
    if (!ended) {
        DUVIDU_LOG_DEBUG("No session to end with timestamp.");
        return;
    }
    ended->endSessionExitedWithTimestamp(timestamp);
    captureSession(ended);
}

void DuviduHub::closeCachedSessionWithTimestamp(const std::optional<DuviduDate>& timestamp)
{
    // Under the session lock: a session started meanwhile must not lose its stored file to the deletion below.
    std::lock_guard lock(sessionLock_);
    auto fileManager = this->fileManager();
    auto session = fileManager ? fileManager->readCurrentSession() : nullptr;
    if (!session) {
        DUVIDU_LOG_DEBUG("No cached session to close.");
        return;
    }
    DUVIDU_LOG_DEBUG("A cached session was found.");
    auto client = getClient();
    if (!client) {
        DUVIDU_LOG_DEBUG("No client bound.");
        return;
    }
    // The crash integration ends that session as crashed and keeps it for the crash event.
    if (crashWrapper_->crashedLastLaunch()) return;
    // Claimed until it is deleted, as the crash integration of a process that knows of the crash claims it: a session
    // that such a process is ending as crashed is not ended here as well.
    auto claim = DuviduFileLock::acquire(fileManager->currentSessionFilePath());
    session = claim ? fileManager->readCurrentSession() : nullptr;
    if (!session) return;

    if (!timestamp) {
        DUVIDU_LOG_DEBUG(
            "No timestamp to close session was provided. Closing as abnormal. Using session's start time " +
            Value(session->started()).description());
        session->endSessionAbnormalWithTimestamp(session->started());
    } else {
        DUVIDU_LOG_DEBUG("Closing cached session as exited.");
        session->endSessionExitedWithTimestamp(*timestamp);
    }
    deleteCurrentSession();
    client->captureSession(session);
}

void DuviduHub::captureSession(const std::shared_ptr<DuviduSession>& session)
{
    if (!session) return;
    auto client = getClient();
    if (!client) return;
    if (client->options()->diagnosticLevel == DuviduLevel::Debug && DuviduLog::willLogAtLevel(DuviduLevel::Debug)) {
        if (auto json = DuviduSerialization::dataWithJSONObject(Value(session->serialize()))) {
            DUVIDU_LOG_BARE(DuviduLevel::Debug,
                            "Capturing session with status: " + std::string(json->begin(), json->end()));
        }
    }
    client->captureSession(session);
}

std::shared_ptr<DuviduSession> DuviduHub::incrementSessionErrors()
{
    std::lock_guard lock(sessionLock_);
    if (!session_) return nullptr;
    session_->incrementErrors();
    storeCurrentSession(*session_);
    return session_->copy();
}

std::shared_ptr<DuviduFileManager> DuviduHub::fileManager() const
{
    auto client = getClient();
    return client ? client->fileManager() : nullptr;
}

void DuviduHub::storeCurrentSession(const DuviduSession& session)
{
    if (auto fileManager = this->fileManager()) fileManager->storeCurrentSession(session);
}

void DuviduHub::deleteCurrentSession()
{
    if (auto fileManager = this->fileManager()) fileManager->deleteCurrentSession();
}

bool DuviduHub::envelopeContainsEventWithErrorOrHigher(const std::vector<DuviduEnvelopeItem>& items)
{
    return std::any_of(items.begin(), items.end(), [](const DuviduEnvelopeItem& item) {
        return item.header()->type() == "event" &&
               static_cast<uint64_t>(DuviduSerialization::levelFromData(item.data())) >
                   static_cast<uint64_t>(DuviduLevel::Warning);
    });
}

DuviduEnvelope DuviduHub::updateSessionState(const DuviduEnvelope& envelope)
{
    if (envelopeContainsEventWithErrorOrHigher(envelope.items())) {
        if (auto session = incrementSessionErrors()) {
            auto items = envelope.items();
            items.emplace_back(*session);
            return DuviduEnvelope(envelope.header(), std::move(items));
        }
    }
    return envelope;
}

// MARK: integrations

bool DuviduHub::isIntegrationInstalled(const IsKindOf& isKindOf) const
{
    std::lock_guard lock(integrationsLock_);
    return std::any_of(installedIntegrations_.begin(), installedIntegrations_.end(),
                       [&](const auto& integration) { return isKindOf(*integration); });
}

bool DuviduHub::hasIntegration(const std::string& name) const
{
    std::lock_guard lock(integrationsLock_);
    return installedIntegrationNames_.count(name) > 0;
}

void DuviduHub::addInstalledIntegration(std::shared_ptr<DuviduBaseIntegration> integration, const std::string& name)
{
    std::lock_guard lock(integrationsLock_);
    installedIntegrations_.push_back(std::move(integration));
    installedIntegrationNames_.insert(name);
}

void DuviduHub::removeAllIntegrations()
{
    std::lock_guard lock(integrationsLock_);
    installedIntegrations_.clear();
    installedIntegrationNames_.clear();
}

std::vector<std::shared_ptr<DuviduBaseIntegration>> DuviduHub::installedIntegrations() const
{
    std::lock_guard lock(integrationsLock_);
    return installedIntegrations_;
}

std::set<std::string> DuviduHub::installedIntegrationNames() const
{
    std::lock_guard lock(integrationsLock_);
    return installedIntegrationNames_;
}

// MARK: flush and close

void DuviduHub::flush(double timeout)
{
    if (auto client = getClient()) client->flush(timeout);
}

void DuviduHub::close()
{
    close(std::nullopt);
}

void DuviduHub::close(std::optional<double> timeout)
{
    if (auto client = getClient()) client->close(timeout);
    DUVIDU_LOG_DEBUG("Closed the Hub.");
}

}  // namespace duvidu
