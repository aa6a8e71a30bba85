#include "Duvidu/DuviduClient.h"

#include <utility>

#include "Duvidu/DuviduBundleInfo.h"
#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduGlobalEventProcessor.h"
#include "Duvidu/DuviduInstallation.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduMeta.h"
#include "Duvidu/DuviduSampling.h"
#include "Duvidu/DuviduSanitize.h"
#include "Duvidu/DuviduTracer.h"
#include "Duvidu/DuviduTransaction.h"
#include "Duvidu/DuviduTransportFactory.h"
#include "Duvidu/SwiftDescriptor.h"

namespace duvidu {

namespace {

constexpr const char* kTransactionType = "transaction";
constexpr const char* kSdkIntegrationsKey = "__duvidu_sdk_integrations";
constexpr const char* kUserInfoContextKey = "user info";

void removeAll(std::string& text, const std::string& part)
{
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at)) text.erase(at, part.size());
}

bool isTransaction(const DuviduEvent& event)
{
    return event.type && *event.type == kTransactionType;
}

// A crash event whose one exception says the system ended the process for not answering in time.
bool isWatchdogTermination(const DuviduEvent& event, bool isCrashEvent)
{
    if (!isCrashEvent || !event.exceptions || event.exceptions->size() != 1) return false;
    const auto& mechanism = event.exceptions->front().mechanism;
    return mechanism && mechanism->type == "watchdog_termination";
}

// Changes the event's context entry under the key, only when the event already has some context: the crash
// integration puts the "os", "device" and "app" contexts into the scope, so every event of a started SDK has some.
void modifyContext(DuviduEvent& event, const std::string& key, const std::function<void(Value::Object&)>& change)
{
    if (!event.context || event.context->empty()) return;
    Value::Object entry;
    if (auto found = event.context->find(key); found != event.context->end() && found->second.isObject()) {
        entry = *found->second.asObject();
    }
    change(entry);
    (*event.context)[key] = std::move(entry);
}

void setUserInfo(const Value::Object& userInfo, DuviduEvent& event)
{
    if (userInfo.empty()) return;
    if (!event.context) event.context = Value::Object{};
    (*event.context)[kUserInfoContextKey] = duvidu_sanitize(userInfo);
}

std::string codeText(int64_t code)
{
    return "Code: " + std::to_string(code);
}

}  // namespace

// Construction.

std::shared_ptr<DuviduClient> DuviduClient::initWithOptions(std::shared_ptr<const DuviduOptions> options)
{
    return initWithOptions(std::move(options), std::make_shared<DuviduDispatchQueueWrapper>(), true);
}

std::shared_ptr<DuviduClient> DuviduClient::initWithOptions(std::shared_ptr<const DuviduOptions> options,
                                                            std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueue,
                                                            bool deleteOldEnvelopeItems)
{
    auto fileManager = DuviduFileManager::initWithOptions(*options, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                                          std::move(dispatchQueue));
    if (!fileManager) {
        DUVIDU_LOG_ERROR("Cannot init filesystem.");
        return nullptr;
    }
    return initWithOptions(std::move(options), std::move(fileManager), deleteOldEnvelopeItems);
}

std::shared_ptr<DuviduClient> DuviduClient::initWithOptions(std::shared_ptr<const DuviduOptions> options,
                                                            std::shared_ptr<DuviduFileManager> fileManager,
                                                            bool deleteOldEnvelopeItems)
{
    auto transport = DuviduTransportFactory::initTransport(options, fileManager);
    auto adapter = std::make_shared<DuviduTransportAdapter>(std::move(transport), options);
    return initWithOptions(std::move(options), std::move(fileManager), deleteOldEnvelopeItems, std::move(adapter));
}

std::shared_ptr<DuviduClient> DuviduClient::initWithOptions(std::shared_ptr<const DuviduOptions> options,
                                                            std::shared_ptr<DuviduFileManager> fileManager,
                                                            bool deleteOldEnvelopeItems,
                                                            std::shared_ptr<DuviduTransportAdapter> transportAdapter)
{
    auto threadInspector = std::make_shared<DuviduThreadInspector>(*options);
    return std::make_shared<DuviduClient>(std::move(options), std::move(transportAdapter), std::move(fileManager),
                                          deleteOldEnvelopeItems, std::move(threadInspector),
                                          DuviduDependencyContainer::sharedInstance()->random(),
                                          NSLocale::autoupdatingCurrentLocale(), NSTimeZone::systemTimeZone(),
                                          DuviduExtraContextProvider::sharedInstance());
}

DuviduClient::DuviduClient(std::shared_ptr<const DuviduOptions> options,
                           std::shared_ptr<DuviduTransportAdapter> transportAdapter,
                           std::shared_ptr<DuviduFileManager> fileManager, bool deleteOldEnvelopeItems,
                           std::shared_ptr<DuviduThreadInspector> threadInspector,
                           std::shared_ptr<DuviduRandomProtocol> random, std::shared_ptr<const NSLocale> locale,
                           NSTimeZone timezone, std::shared_ptr<DuviduExtraContextProvider> extraContextProvider,
                           std::shared_ptr<DuviduSDKState> sdkState)
    : options_(std::move(options)),
      transportAdapter_(std::move(transportAdapter)),
      debugImageProvider_(DuviduDependencyContainer::sharedInstance()->debugImageProvider()),
      random_(std::move(random)),
      locale_(std::move(locale)),
      timezone_(std::move(timezone)),
      extraContextProvider_(std::move(extraContextProvider)),
      threadInspector_(std::move(threadInspector)),
      fileManager_(std::move(fileManager)),
      sdkState_(std::move(sdkState))
{
    if (deleteOldEnvelopeItems) fileManager_->deleteOldEnvelopeItems();
}

// Capture forms.

DuviduId DuviduClient::captureMessage(const std::string& message)
{
    return captureMessage(message, std::make_shared<DuviduScope>());
}

DuviduId DuviduClient::captureMessage(const std::string& message, const std::shared_ptr<DuviduScope>& scope)
{
    auto event = std::make_shared<DuviduEvent>(DuviduLevel::Info);
    event->message = DuviduMessage(message);
    return sendEvent(event, scope, false);
}

DuviduId DuviduClient::captureException(const NSException& exception)
{
    return captureException(exception, std::make_shared<DuviduScope>());
}

DuviduId DuviduClient::captureException(const NSException& exception, const std::shared_ptr<DuviduScope>& scope)
{
    return sendEvent(buildExceptionEvent(exception), scope, true);
}

DuviduId DuviduClient::captureException(const NSException& exception, const std::shared_ptr<DuviduScope>& scope,
                                        const SessionBlock& incrementSessionErrors)
{
    return captureWithSession(buildExceptionEvent(exception), scope, incrementSessionErrors);
}

DuviduId DuviduClient::captureError(const NSError& error)
{
    return captureError(error, std::make_shared<DuviduScope>());
}

DuviduId DuviduClient::captureError(const NSError& error, const std::shared_ptr<DuviduScope>& scope)
{
    return sendEvent(buildErrorEvent(error), scope, true);
}

DuviduId DuviduClient::captureError(const NSError& error, const std::shared_ptr<DuviduScope>& scope,
                                    const SessionBlock& incrementSessionErrors)
{
    return captureWithSession(buildErrorEvent(error), scope, incrementSessionErrors);
}

DuviduId DuviduClient::captureEvent(const std::shared_ptr<DuviduEvent>& event)
{
    return captureEvent(event, std::make_shared<DuviduScope>());
}

DuviduId DuviduClient::captureEvent(const std::shared_ptr<DuviduEvent>& event,
                                    const std::shared_ptr<DuviduScope>& scope)
{
    return sendEvent(event, scope, false);
}

DuviduId DuviduClient::captureEvent(const std::shared_ptr<DuviduEvent>& event,
                                    const std::shared_ptr<DuviduScope>& scope,
                                    const std::vector<DuviduEnvelopeItem>& additionalEnvelopeItems)
{
    return sendEvent(event, scope, false, false, additionalEnvelopeItems);
}

DuviduId DuviduClient::captureCrashEvent(const std::shared_ptr<DuviduEvent>& event,
                                         const std::shared_ptr<DuviduScope>& scope)
{
    return sendEvent(event, scope, false, true);
}

DuviduId DuviduClient::captureCrashEvent(const std::shared_ptr<DuviduEvent>& event,
                                         const std::shared_ptr<DuviduSession>& session,
                                         const std::shared_ptr<DuviduScope>& scope)
{
    return sendEvent(prepareEvent(event, scope, false, true), session, scope);
}

DuviduId DuviduClient::captureWithSession(const std::shared_ptr<DuviduEvent>& event,
                                          const std::shared_ptr<DuviduScope>& scope,
                                          const SessionBlock& incrementSessionErrors)
{
    auto prepared = prepareEvent(event, scope, true);
    if (!prepared) return DuviduId::empty();
    auto session = incrementSessionErrors ? incrementSessionErrors() : nullptr;
    return sendEvent(prepared, session, scope);
}

// Other operations.

void DuviduClient::captureSession(const std::shared_ptr<DuviduSession>& session)
{
    if (!session) return;
    auto releaseName = session->releaseName();
    if (!releaseName || releaseName->empty()) {
        DUVIDU_LOG_DEBUG("Session has no release name. Won't send it.");
        return;
    }
    captureEnvelope(DuviduEnvelope(DuviduEnvelopeHeader(std::nullopt, nullptr), DuviduEnvelopeItem(*session)));
}

void DuviduClient::captureEnvelope(const DuviduEnvelope& envelope)
{
    if (isDisabled()) {
        logDisabledMessage();
        return;
    }
    transportAdapter_->sendEnvelope(envelope);
}

void DuviduClient::captureUserFeedback(const DuviduUserFeedback& userFeedback)
{
    if (isDisabled()) {
        logDisabledMessage();
        return;
    }
    if (userFeedback.eventId() == DuviduId::empty()) {
        DUVIDU_LOG_DEBUG("Capturing UserFeedback with an empty event id. Won't send it.");
        return;
    }
    transportAdapter_->sendUserFeedback(userFeedback);
}

void DuviduClient::storeEnvelope(const DuviduEnvelope& envelope)
{
    fileManager_->storeEnvelope(envelope);
}

void DuviduClient::recordLostEvent(DuviduDataCategory category, DuviduDiscardReason reason)
{
    transportAdapter_->recordLostEvent(category, reason);
}

void DuviduClient::flush(double timeout)
{
    transportAdapter_->flush(timeout);
}

void DuviduClient::close()
{
    close(std::nullopt);
}

void DuviduClient::close(std::optional<double> timeout)
{
    isEnabled_.store(false);
    transportAdapter_->close(timeout.value_or(options_->shutdownTimeInterval));
    DUVIDU_LOG_DEBUG("Closed the Client.");
}

bool DuviduClient::isDisabled() const
{
    return !isEnabled_.load() || !options_->enabled || !options_->parsedDsn();
}

void DuviduClient::logDisabledMessage() const
{
    DUVIDU_LOG_DEBUG("SDK disabled or no DSN set. Won't do anyting.");
}

void DuviduClient::addAttachmentProcessor(std::shared_ptr<DuviduAttachmentProcessor> processor)
{
    std::lock_guard lock(attachmentProcessorsMutex_);
    attachmentProcessors_.push_back(std::move(processor));
}

void DuviduClient::removeAttachmentProcessor(const std::shared_ptr<DuviduAttachmentProcessor>& processor)
{
    std::lock_guard lock(attachmentProcessorsMutex_);
    std::erase(attachmentProcessors_, processor);
}

// Building events.

std::shared_ptr<DuviduEvent> DuviduClient::buildErrorEvent(const NSError& error) const
{
    auto event = std::make_shared<DuviduEvent>(error);

    std::optional<std::string> debugDescription;
    if (auto found = error.userInfo().find(NSDebugDescriptionKey); found != error.userInfo().end()) {
        debugDescription = found->second.isString() ? *found->second.asString() : found->second.description();
    }
    // An error bridged from the application's own error types describes itself.
    std::optional<std::string> description = debugDescription;
    if (!description && error.className().find("SwiftNativeNSError") != std::string::npos) {
        description = SwiftDescriptor::getSwiftErrorDescription(error);
    }
    std::string value = description ? *description + " (" + codeText(error.code()) + ")" : codeText(error.code());

    DuviduException exception(std::move(value), error.domain());
    DuviduMechanism mechanism("NSError");
    DuviduMechanismMeta meta;
    meta.error = DuviduNSError(error.domain(), error.code());
    mechanism.meta = meta;
    mechanism.desc = error.description();
    mechanism.data = duvidu_sanitize(error.userInfo());
    exception.mechanism = std::move(mechanism);
    event->exceptions = std::vector<DuviduException>{std::move(exception)};

    setUserInfo(error.userInfo(), *event);
    return event;
}

std::shared_ptr<DuviduEvent> DuviduClient::buildExceptionEvent(const NSException& exception) const
{
    auto event = std::make_shared<DuviduEvent>(DuviduLevel::Error);
    event->exceptions = std::vector<DuviduException>{DuviduException(exception.reason(), exception.name())};
    setUserInfo(exception.userInfo(), *event);
    return event;
}

// Sending.

DuviduId DuviduClient::sendEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope,
                                 bool alwaysAttachStacktrace, bool isCrashEvent,
                                 const std::vector<DuviduEnvelopeItem>& additionalEnvelopeItems)
{
    auto prepared = prepareEvent(event, scope, alwaysAttachStacktrace, isCrashEvent);
    if (!prepared) return DuviduId::empty();
    // The trace comes from the event as the caller gave it: a transaction's own tracer, else the scope's span.
    auto traceContext = getTraceState(*event, scope);
    transportAdapter_->sendEvent(*prepared, traceContext, attachmentsFor(*prepared, scope), additionalEnvelopeItems);
    return prepared->eventId;
}

DuviduId DuviduClient::sendEvent(const std::shared_ptr<DuviduEvent>& event,
                                 const std::shared_ptr<DuviduSession>& session,
                                 const std::shared_ptr<DuviduScope>& scope)
{
    if (!event) return DuviduId::empty();
    auto attachments = attachmentsFor(*event, scope);
    auto releaseName = session ? session->releaseName() : std::nullopt;
    if (releaseName && !releaseName->empty()) {
        transportAdapter_->sendEvent(*event, *session, attachments);
        return event->eventId;
    }
    auto traceContext = getTraceState(*event, scope);
    DUVIDU_LOG_DEBUG("Session has no release name. Won't send it.");
    transportAdapter_->sendEvent(*event, traceContext, attachments);
    return event->eventId;
}

std::shared_ptr<DuviduEvent> DuviduClient::prepareEvent(std::shared_ptr<DuviduEvent> event,
                                                        const std::shared_ptr<DuviduScope>& scope,
                                                        bool alwaysAttachStacktrace, bool isCrashEvent)
{
    if (!event) {
        // A caller's error; no caller in the SDK passes no event.
        DUVIDU_LOG_ERROR("Invalid parameter not satisfying: event");
        return nullptr;
    }
    if (isDisabled()) {
        logDisabledMessage();
        return nullptr;
    }
    const bool transaction = isTransaction(*event);
    if (!transaction && isSampled(options_->sampleRate())) {
        DUVIDU_LOG_DEBUG("Event got sampled, will not send the event");
        recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::SampleRate);
        return nullptr;
    }

    // A crash event keeps the dist of the run that crashed, as it keeps that run's release: a report that names the
    // crashed run's release names its dist too, so a report with a release and no dist is of a run that had none.
    const bool crashedRunsDist = isCrashEvent && (event->dist || event->releaseName);
    if (!crashedRunsDist) {
        if (auto bundle = DuviduBundleInfo::current(); bundle && !event->dist) event->dist = bundle->build;
        if (options_->dist) event->dist = options_->dist;
    }
    if (!event->releaseName && options_->releaseName) event->releaseName = options_->releaseName;
    setSdk(*event);
    if (!transaction && !isCrashEvent) attachThreads(*event, alwaysAttachStacktrace);

    if (scope) event = scope->applyToEvent(event, options_->maxBreadcrumbs);

    if (isWatchdogTermination(*event, isCrashEvent)) {
        // The memory and device state of this process says nothing about the process that was ended.
        modifyContext(*event, "device", [](Value::Object& device) {
            for (const char* key : {"free_memory", "free_storage", "orientation", "charging", "battery_level"}) {
                device.erase(key);
            }
        });
        modifyContext(*event, "app", [](Value::Object& app) { app.erase("app_memory"); });
    } else if (!isCrashEvent) {
        applyExtraDeviceContext(*event);
        applyCultureContext(*event);
    }

    if (!event->environment) event->environment = options_->environment;
    if (!event->user) {
        DuviduUser user;
        user.userId = DuviduInstallation::id();
        event->user = std::move(user);
    }
    if (options_->sendDefaultPii && !event->user->ipAddress) event->user->ipAddress = "{{auto}}";

    event = callEventProcessors(std::move(event));
    if (!event) {
        recordLost(transaction, DuviduDiscardReason::EventProcessor);
        return nullptr;
    }
    if (options_->beforeSend) {
        event = options_->beforeSend(std::move(event));
        if (!event) {
            recordLost(transaction, DuviduDiscardReason::BeforeSend);
            return nullptr;
        }
    }
    // The callback takes the crash event that is sent; a dropped one does not use up its single run.
    if (isCrashEvent && options_->onCrashedLastRun && sdkState_->markCrashedLastRunCalled()) {
        options_->onCrashedLastRun(event);
    }
    return event;
}

bool DuviduClient::isSampled(const std::optional<double>& rate) const
{
    return rate && !duvidu_isKeptByRate(*rate, *random_);
}

void DuviduClient::setSdk(DuviduEvent& event) const
{
    if (event.sdk) return;
    Value integrations;
    const Value* given = nullptr;
    if (event.extra) {
        if (auto found = event.extra->find(kSdkIntegrationsKey); found != event.extra->end()) given = &found->second;
    }
    if (given) {
        integrations = *given;
    } else {
        Value::Array names;
        for (auto name : sdkState_->installedIntegrationNames()) {
            removeAll(name, "Duvidu");
            removeAll(name, "Integration");
            names.emplace_back(std::move(name));
        }
        integrations = std::move(names);
    }
    event.sdk = Value::Object{
        {"name", DuviduMeta::sdkName()},
        {"version", DuviduMeta::versionString()},
        {"integrations", std::move(integrations)},
    };
}

void DuviduClient::attachThreads(DuviduEvent& event, bool alwaysAttachStacktrace) const
{
    bool attach = alwaysAttachStacktrace || options_->attachStacktrace ||
                  (event.exceptions && !event.exceptions->empty());
    if (!attach) return;
    if (!event.threads || event.threads->empty()) event.threads = threadInspector_->getCurrentThreads();
    if ((!event.debugMeta || event.debugMeta->empty()) && event.threads) {
        event.debugMeta = debugImageProvider_->getDebugImagesForThreads(*event.threads, false);
    }
}

void DuviduClient::applyCultureContext(DuviduEvent& event) const
{
    modifyContext(event, "culture", [this](Value::Object& culture) {
        auto put = [&culture](const char* key, std::optional<Value> value) {
            if (value) culture[key] = std::move(*value);
            else culture.erase(key);
        };
        auto text = [](std::optional<std::string> value) -> std::optional<Value> {
            if (!value) return std::nullopt;
            return Value(std::move(*value));
        };
        auto calendar = locale_->calendarIdentifier();
        put("calendar", text(calendar ? locale_->localizedStringForCalendarIdentifier(*calendar) : std::nullopt));
        auto identifier = locale_->localeIdentifier();
        put("display_name", text(locale_->localizedStringForLocaleIdentifier(identifier)));
        put("locale", Value(identifier));
        put("is_24_hour_format", Value(locale_->timeIs24HourFormat()));
        put("timezone", Value(timezone_.name()));
    });
}

void DuviduClient::applyExtraDeviceContext(DuviduEvent& event) const
{
    auto extra = extraContextProvider_->getExtraContext();
    for (const char* key : {"device", "app"}) {
        auto found = extra.find(key);
        if (found == extra.end() || !found->second.isObject()) continue;
        const auto& entries = *found->second.asObject();
        modifyContext(event, key, [&entries](Value::Object& context) {
            for (const auto& [name, value] : entries) context[name] = value;
        });
    }
}

std::shared_ptr<DuviduEvent> DuviduClient::callEventProcessors(std::shared_ptr<DuviduEvent> event) const
{
    auto processors = DuviduGlobalEventProcessor::shared().processors();
    for (const auto& processor : *processors) {
        event = processor(std::move(event));
        if (!event) {
            DUVIDU_LOG_DEBUG("DuviduScope callEventProcessors: An event processor decided to remove this event.");
            return nullptr;
        }
    }
    return event;
}

void DuviduClient::recordLost(bool isTransaction, DuviduDiscardReason reason)
{
    recordLostEvent(isTransaction ? DuviduDataCategory::Transaction : DuviduDataCategory::Error, reason);
}

std::shared_ptr<const DuviduTraceContext> DuviduClient::getTraceState(const DuviduEvent& event,
                                                                      const std::shared_ptr<DuviduScope>& scope) const
{
    std::shared_ptr<DuviduSpan> span;
    if (auto transaction = dynamic_cast<const DuviduTransaction*>(&event)) span = transaction->trace();
    else if (scope) span = scope->span();
    auto tracer = DuviduTracer::getTracer(span);
    if (!tracer) return nullptr;
    return DuviduTraceContext::initWithTracer(*tracer, scope, *options_);
}

std::vector<DuviduAttachment> DuviduClient::attachmentsFor(const DuviduEvent& event,
                                                           const std::shared_ptr<DuviduScope>& scope) const
{
    std::vector<DuviduAttachment> attachments;
    if (scope) attachments = scope->attachments();
    std::vector<std::shared_ptr<DuviduAttachmentProcessor>> processors;
    {
        std::lock_guard lock(attachmentProcessorsMutex_);
        processors = attachmentProcessors_;
    }
    for (const auto& processor : processors) attachments = processor->processAttachments(std::move(attachments), event);
    return attachments;
}

}  // namespace duvidu
