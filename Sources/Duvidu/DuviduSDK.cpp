#include "Duvidu/DuviduSDK.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "Duvidu/DuviduClient.h"
#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduIntegrationRegistry.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduMeta.h"
#include "Duvidu/PrivateDuviduSDKOnly.h"

namespace duvidu {

namespace {

// Never destroyed: SDK threads may still capture while the process exits.
std::recursive_mutex& hubLock()
{
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

std::shared_ptr<DuviduHub>& hubSlot()
{
    static auto* hub = new std::shared_ptr<DuviduHub>;
    return *hub;
}

std::atomic<uint64_t> startInvocationCount{0};
std::atomic<bool> crashedLastRunCalledFlag{false};

std::mutex& appStartMeasurementLock()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::optional<DuviduAppStartMeasurement> appStartMeasurement;

// The current hub without making one.
std::shared_ptr<DuviduHub> existingHub()
{
    std::lock_guard lock(hubLock());
    return hubSlot();
}

}  // namespace

// MARK: start and state

void DuviduSDK::startWithConfigureOptions(const std::function<void(DuviduOptions&)>& configureOptions)
{
    auto options = std::make_shared<DuviduOptions>();
    configureOptions(*options);
    startWithOptions(std::move(options));
}

void DuviduSDK::startWithOptions(std::shared_ptr<const DuviduOptions> options)
{
    ++startInvocationCount;
    DuviduLog::configure(options->debug, options->diagnosticLevel);

    auto client = DuviduClient::initWithOptions(options);
    if (client) {
        client->fileManager()->moveAppStateToPreviousAppState();
        client->fileManager()->moveBreadcrumbsToPreviousBreadcrumbs();
    }

    auto scope = options->initialScope(std::make_shared<DuviduScope>(options->scopeBreadcrumbCap()));
    setCurrentHub(std::make_shared<DuviduHub>(client, scope));
    DUVIDU_LOG_DEBUG("SDK initialized! Version: " + DuviduMeta::versionString());
    installIntegrations();
}

std::shared_ptr<DuviduHub> DuviduSDK::currentHub()
{
    std::lock_guard lock(hubLock());
    if (!hubSlot()) hubSlot() = std::make_shared<DuviduHub>(nullptr, nullptr);
    return hubSlot();
}

void DuviduSDK::setCurrentHub(std::shared_ptr<DuviduHub> hub)
{
    std::shared_ptr<DuviduHub> previous;
    {
        std::lock_guard lock(hubLock());
        previous = std::exchange(hubSlot(), std::move(hub));
    }
    // A replaced hub that was the last holder of its client ends the client's threads here, outside the lock.
}

std::shared_ptr<const DuviduOptions> DuviduSDK::options()
{
    auto hub = existingHub();
    auto client = hub ? hub->getClient() : nullptr;
    return client ? client->options() : nullptr;
}

std::shared_ptr<DuviduSpan> DuviduSDK::span()
{
    auto hub = existingHub();
    return hub ? hub->scope()->span() : nullptr;
}

bool DuviduSDK::isEnabled()
{
    auto hub = existingHub();
    return hub && hub->getClient();
}

bool DuviduSDK::crashedLastRun()
{
    return DuviduCrashWrapper::sharedInstance()->crashedLastLaunch();
}

bool DuviduSDK::crashedLastRunCalled()
{
    return crashedLastRunCalledFlag.load();
}

void DuviduSDK::setCrashedLastRunCalled(bool called)
{
    crashedLastRunCalledFlag.store(called);
}

bool DuviduSDK::markCrashedLastRunCalled()
{
    return !crashedLastRunCalledFlag.exchange(true);
}

uint64_t DuviduSDK::startInvocations()
{
    return startInvocationCount.load();
}

void DuviduSDK::setStartInvocations(uint64_t startInvocations)
{
    startInvocationCount.store(startInvocations);
}

void DuviduSDK::setAppStartMeasurement(std::optional<DuviduAppStartMeasurement> measurement)
{
    {
        std::lock_guard lock(appStartMeasurementLock());
        appStartMeasurement = measurement;
    }
    auto available = PrivateDuviduSDKOnly::onAppStartMeasurementAvailable();
    if (available && measurement) available(*measurement);
}

std::optional<DuviduAppStartMeasurement> DuviduSDK::getAppStartMeasurement()
{
    std::lock_guard lock(appStartMeasurementLock());
    return appStartMeasurement;
}

void DuviduSDK::installIntegrations()
{
    auto hub = currentHub();
    auto client = hub->getClient();
    if (!client) return;
    const auto& options = client->options();
    for (const auto& name : options->integrations()) {
        auto entry = DuviduIntegrationRegistry::shared().find(name);
        if (!entry) {
            DUVIDU_LOG_ERROR("[DuviduHub doInstallIntegrations] couldn't find \"" + name + "\" -> skipping.");
            continue;
        }
        if (hub->isIntegrationInstalled(entry->isKindOf)) {
            DUVIDU_LOG_ERROR("[DuviduHub doInstallIntegrations] already installed \"" + name + "\" -> skipping.");
            continue;
        }
        auto integration = entry->make();
        if (!integration->installWithOptions(options)) continue;
        DUVIDU_LOG_DEBUG("Integration installed: " + name);
        hub->addInstalledIntegration(std::move(integration), name);
    }
}

// MARK: captures

template <typename Capture>
DuviduId DuviduSDK::captureWithScopeBlock(const ScopeBlock& block, Capture capture)
{
    auto scope = std::make_shared<DuviduScope>(*currentHub()->scope());
    block(*scope);
    return capture(scope);
}

DuviduId DuviduSDK::captureEvent(const std::shared_ptr<DuviduEvent>& event)
{
    return captureEvent(event, currentHub()->scope());
}

DuviduId DuviduSDK::captureEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope)
{
    return currentHub()->captureEvent(event, scope);
}

DuviduId DuviduSDK::captureEvent(const std::shared_ptr<DuviduEvent>& event, const ScopeBlock& block)
{
    return captureWithScopeBlock(block, [&](const auto& scope) { return captureEvent(event, scope); });
}

DuviduId DuviduSDK::captureError(const NSError& error)
{
    return captureError(error, currentHub()->scope());
}

DuviduId DuviduSDK::captureError(const NSError& error, const std::shared_ptr<DuviduScope>& scope)
{
    return currentHub()->captureError(error, scope);
}

DuviduId DuviduSDK::captureError(const NSError& error, const ScopeBlock& block)
{
    return captureWithScopeBlock(block, [&](const auto& scope) { return captureError(error, scope); });
}

DuviduId DuviduSDK::captureException(const NSException& exception)
{
    return captureException(exception, currentHub()->scope());
}

DuviduId DuviduSDK::captureException(const NSException& exception, const std::shared_ptr<DuviduScope>& scope)
{
    return currentHub()->captureException(exception, scope);
}

DuviduId DuviduSDK::captureException(const NSException& exception, const ScopeBlock& block)
{
    return captureWithScopeBlock(block, [&](const auto& scope) { return captureException(exception, scope); });
}

DuviduId DuviduSDK::captureMessage(const std::string& message)
{
    return captureMessage(message, currentHub()->scope());
}

DuviduId DuviduSDK::captureMessage(const std::string& message, const std::shared_ptr<DuviduScope>& scope)
{
    return currentHub()->captureMessage(message, scope);
}

DuviduId DuviduSDK::captureMessage(const std::string& message, const ScopeBlock& block)
{
    return captureWithScopeBlock(block, [&](const auto& scope) { return captureMessage(message, scope); });
}

void DuviduSDK::captureCrashEvent(const std::shared_ptr<DuviduEvent>& event)
{
    currentHub()->captureCrashEvent(event);
}

void DuviduSDK::captureCrashEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope)
{
    currentHub()->captureCrashEvent(event, scope);
}

// MARK: transactions

std::shared_ptr<DuviduTracer> DuviduSDK::startTransactionWithName(const std::string& name, const std::string& operation,
                                                                  bool bindToScope)
{
    return currentHub()->startTransactionWithName(name, operation, bindToScope);
}

std::shared_ptr<DuviduTracer> DuviduSDK::startTransactionWithContext(const DuviduTransactionContext& transactionContext,
                                                                     bool bindToScope,
                                                                     const Value::Object& customSamplingContext)
{
    return currentHub()->startTransactionWithContext(transactionContext, bindToScope, customSamplingContext);
}

std::shared_ptr<DuviduTracer> DuviduSDK::startTransactionWithContext(const DuviduTransactionContext& transactionContext,
                                                                     const Value::Object& customSamplingContext)
{
    return currentHub()->startTransactionWithContext(transactionContext, customSamplingContext);
}

// MARK: other forwarding

void DuviduSDK::captureEnvelope(const DuviduEnvelope& envelope)
{
    currentHub()->captureEnvelope(envelope);
}

void DuviduSDK::storeEnvelope(const DuviduEnvelope& envelope)
{
    if (auto client = currentHub()->getClient()) client->storeEnvelope(envelope);
}

void DuviduSDK::captureUserFeedback(const DuviduUserFeedback& userFeedback)
{
    currentHub()->captureUserFeedback(userFeedback);
}

void DuviduSDK::addBreadcrumb(const DuviduBreadcrumb& breadcrumb)
{
    currentHub()->addBreadcrumb(breadcrumb);
}

void DuviduSDK::configureScope(const ScopeBlock& block)
{
    currentHub()->configureScope(block);
}

void DuviduSDK::setUser(std::optional<DuviduUser> user)
{
    currentHub()->setUser(std::move(user));
}

void DuviduSDK::startSession()
{
    currentHub()->startSession();
}

void DuviduSDK::endSession()
{
    currentHub()->endSession();
}

void DuviduSDK::reportFullyDisplayed()
{
    currentHub()->reportFullyDisplayed();
}

void DuviduSDK::flush(double timeout)
{
    currentHub()->flush(timeout);
}

// MARK: close

void DuviduSDK::close()
{
    close(std::nullopt);
}

void DuviduSDK::close(std::optional<double> timeout)
{
    DUVIDU_LOG_DEBUG("Starting to close SDK.");
    auto hub = currentHub();
    for (const auto& integration : hub->installedIntegrations()) integration->uninstall();
    hub->removeAllIntegrations();
    DUVIDU_LOG_DEBUG("Uninstalled all integrations.");
    hub->close(timeout);
    hub->bindClient(nullptr);
    setCurrentHub(nullptr);
    DuviduDependencyContainer::reset();
    DUVIDU_LOG_DEBUG("SDK closed!");
}

void DuviduSDK::crash()
{
    __builtin_trap();
}

}  // namespace duvidu
