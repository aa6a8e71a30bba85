// The client's event pipeline, through a real transport adapter whose transport records what it is given.
#include "Duvidu/DuviduClient.h"

#include <atomic>
#include <set>
#include <thread>

#include "Duvidu/DuviduBundleInfo.h"
#include "Duvidu/DuviduGlobalEventProcessor.h"
#include "Duvidu/DuviduInstallation.h"
#include "Duvidu/DuviduSDK.h"
#include "Duvidu/DuviduTracer.h"
#include "Duvidu/DuviduTransaction.h"
#include "DuviduJSONTestSupport.h"
#include "DuviduRecordingTransport.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
using duvidutest::RecordingTransport;

namespace {

class FixedCrashWrapper : public DuviduCrashWrapper {
public:
    uint64_t freeMemorySize() const override { return 1000; }
    uint64_t freeStorageSize() const override { return 2000; }
    uint64_t appMemorySize() const override { return 3000; }
};

class FakeSDKState : public DuviduSDKState {
public:
    std::vector<std::string> installedIntegrationNames() override { return names; }
    bool markCrashedLastRunCalled() override { return !called.exchange(true); }

    std::vector<std::string> names;
    std::atomic<bool> called{false};
};

// A hub as far as tracers need one, with the hub's rule for transactions: an unsampled one is counted lost.
class ClientHub : public DuviduTracerHub {
public:
    explicit ClientHub(std::shared_ptr<DuviduClient> client) : client(std::move(client)) {}
    std::shared_ptr<DuviduScope> scope() override { return hubScope; }
    DuviduId captureTransaction(const std::shared_ptr<DuviduTransaction>& transaction,
                                const std::shared_ptr<DuviduScope>& scope) override
    {
        if (transaction->trace()->sampled() != DuviduSampleDecision::Yes) {
            client->recordLostEvent(DuviduDataCategory::Transaction, DuviduDiscardReason::SampleRate);
            return DuviduId::empty();
        }
        return client->captureEvent(transaction, scope, {});
    }

    std::shared_ptr<DuviduClient> client;
    std::shared_ptr<DuviduScope> hubScope = std::make_shared<DuviduScope>();
};

const Value::Object& object(const Value& value)
{
    static const Value::Object none;
    return value.isObject() ? *value.asObject() : none;
}

class DuviduClientTest : public duvidutest::DuviduTest {
protected:
    void SetUp() override
    {
        DuviduTest::SetUp();
        options->setDsn("https://public@127.0.0.1/1");
        DuviduGlobalEventProcessor::shared().removeAllProcessors();
        DuviduDependencyContainer::sharedInstance()->setRandom(random);
    }
    void TearDown() override
    {
        DuviduGlobalEventProcessor::shared().removeAllProcessors();
        DuviduBundleInfo::setCurrent(std::nullopt);
        DuviduTest::TearDown();
    }

    std::shared_ptr<DuviduClient> makeClient()
    {
        auto fileManager = DuviduFileManager::initWithOptions(*options, clock,
                                                              std::make_shared<DuviduDispatchQueueWrapper>());
        auto adapter = std::make_shared<DuviduTransportAdapter>(transport, options);
        auto extraContext = std::make_shared<DuviduExtraContextProvider>(std::make_shared<FixedCrashWrapper>(),
                                                                         DuviduNSProcessInfoWrapper::shared());
        return std::make_shared<DuviduClient>(options, adapter, fileManager, false,
                                              std::make_shared<DuviduThreadInspector>(*options), random,
                                              std::make_shared<NSLocale>("de_DE.UTF-8"), NSTimeZone("Europe/Vienna"),
                                              extraContext, sdkState);
    }

    // A scope as the crash integration leaves it at start: with "os", "device" and "app" contexts.
    static std::shared_ptr<DuviduScope> startedScope()
    {
        auto scope = std::make_shared<DuviduScope>();
        scope->setContextValue(Value::Object{{"name", "Linux"}}, "os");
        scope->setContextValue(Value::Object{{"arch", "x86_64"}, {"charging", true}}, "device");
        scope->setContextValue(Value::Object{{"app_name", "vellumcaster"}}, "app");
        return scope;
    }

    // The JSON of the event in the last envelope.
    Value::Object lastEvent()
    {
        auto envelopes = transport->envelopes();
        if (envelopes.empty()) {
            ADD_FAILURE() << "nothing was sent";
            return {};
        }
        auto json = RecordingTransport::itemJSON(envelopes.back(), "event");
        if (!json) json = RecordingTransport::itemJSON(envelopes.back(), "transaction");
        EXPECT_TRUE(json) << "no event item";
        return json.value_or(Value::Object{});
    }

    bool logged(const std::string& text)
    {
        for (const auto& line : logOutput->lines()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    std::shared_ptr<DuviduOptions> options = std::make_shared<DuviduOptions>();
    std::shared_ptr<RecordingTransport> transport = std::make_shared<RecordingTransport>();
    std::shared_ptr<duvidutest::ScriptedRandom> random = std::make_shared<duvidutest::ScriptedRandom>();
    std::shared_ptr<FakeSDKState> fakeState = std::make_shared<FakeSDKState>();
    std::shared_ptr<DuviduSDKState> sdkState = fakeState;
};

using Lost = RecordingTransport::Lost;

TEST_F(DuviduClientTest, ErrorBecomesAnExceptionOfItsDomainAndCode)
{
    auto client = makeClient();
    NSError error("com.example.network", 28, {{NSDebugDescriptionKey, "Connection lost"}, {"port", 443}});
    auto id = client->captureError(error, startedScope());
    ASSERT_NE(id, DuviduId::empty());

    auto event = lastEvent();
    EXPECT_EQ(event.at("event_id"), Value(id.duviduIdString()));
    EXPECT_EQ(event.at("level"), Value("error"));
    const auto& exceptions = *object(event.at("exception")).at("values").asArray();
    ASSERT_EQ(exceptions.size(), 1u);
    const auto& exception = object(exceptions[0]);
    EXPECT_EQ(exception.at("value"), Value("Connection lost (Code: 28)"));
    EXPECT_EQ(exception.at("type"), Value("com.example.network"));
    const auto& mechanism = object(exception.at("mechanism"));
    EXPECT_EQ(mechanism.at("type"), Value("NSError"));
    EXPECT_EQ(mechanism.at("description"), Value(error.description()));
    EXPECT_EQ(object(mechanism.at("meta")).at("ns_error"),
              duvidutest::parseJSON(R"({"domain": "com.example.network", "code": 28})"));
    auto userInfo = duvidutest::parseJSON(R"({"NSDebugDescription": "Connection lost", "port": 443})");
    EXPECT_EQ(mechanism.at("data"), userInfo);
    EXPECT_EQ(object(event.at("contexts")).at("user info"), userInfo);

    // Errors always carry the threads, the calling one with its stack, and the images its frames lie in.
    const auto& threads = *object(event.at("threads")).at("values").asArray();
    ASSERT_FALSE(threads.empty());
    int current = 0;
    for (const auto& thread : threads) current += object(thread).contains("stacktrace") ? 1 : 0;
    EXPECT_EQ(current, 1);
    EXPECT_FALSE(object(event.at("debug_meta")).at("images").asArray()->empty());

    // Without a debug description only the code is left; an empty user info adds no context.
    client->captureError(NSError("com.example.network", 28), startedScope());
    event = lastEvent();
    const auto& bare = object((*object(event.at("exception")).at("values").asArray())[0]);
    EXPECT_EQ(bare.at("value"), Value("Code: 28"));
    EXPECT_EQ(object(bare.at("mechanism")).at("data"), Value(Value::Object{}));
    EXPECT_FALSE(object(event.at("contexts")).contains("user info"));
}

TEST_F(DuviduClientTest, DatesAndOpaqueValuesInDictionaryBreadcrumbsAndUsersLeaveTheEventWhole)
{
    auto client = makeClient();
    auto scope = startedScope();
    const DuviduDate savedAt{std::chrono::seconds(1700000000)};
    scope->addBreadcrumb(DuviduBreadcrumb::initWithDictionary(
        {{"level", "info"}, {"message", "saved"}, {"saved_at", savedAt}, {"__duvidu_private", 1}}));
    scope->setUser(DuviduUser::initWithDictionary({{"id", "u-7"}, {"handle", Value::Opaque{"<Handle 0x1>", {}}}}));
    scope->setTagValue("small", "model");
    client->captureError(NSError("com.example.store", 3), scope);
    client->captureMessage("later", scope);

    for (const auto& envelope : transport->envelopes()) {
        auto event = RecordingTransport::itemJSON(envelope, "event").value_or(Value::Object{});
        EXPECT_NE(event.at("level"), Value("warning"));
        EXPECT_EQ(event.at("user"), duvidutest::parseJSON(R"({"id": "u-7", "handle": "<Handle 0x1>"})"));
        EXPECT_EQ(event.at("tags"), duvidutest::parseJSON(R"({"model": "small"})"));
        EXPECT_TRUE(event.contains("threads"));
        const auto& breadcrumbs = *event.at("breadcrumbs").asArray();
        ASSERT_EQ(breadcrumbs.size(), 1u);
        EXPECT_EQ(breadcrumbs[0], duvidutest::parseJSON(
                                      R"({"level": "info", "message": "saved", "saved_at": "2023-11-14T22:13:20.000Z"})"));
    }
    EXPECT_EQ(transport->envelopes().size(), 2u);
}

TEST_F(DuviduClientTest, BridgedApplicationErrorDescribesItself)
{
    auto client = makeClient();
    client->captureError(NSError::bridged("Vellumcaster.RecorderError", 2, "Could not start the recording"));
    auto event = lastEvent();
    const auto& exception = object((*object(event.at("exception")).at("values").asArray())[0]);
    EXPECT_EQ(exception.at("value"), Value("Could not start the recording (Code: 2)"));
    EXPECT_EQ(exception.at("type"), Value("Vellumcaster.RecorderError"));
}

TEST_F(DuviduClientTest, ExceptionAndMessageEvents)
{
    options->attachStacktrace = false;
    auto client = makeClient();
    client->captureException(NSException("NSInvalidArgumentException", "bad index", {{"index", 9}}));
    auto event = lastEvent();
    EXPECT_EQ(event.at("level"), Value("error"));
    const auto& exception = object((*object(event.at("exception")).at("values").asArray())[0]);
    EXPECT_EQ(exception.at("value"), Value("bad index"));
    EXPECT_EQ(exception.at("type"), Value("NSInvalidArgumentException"));
    EXPECT_FALSE(exception.contains("mechanism"));
    EXPECT_EQ(object(event.at("contexts")).at("user info"), duvidutest::parseJSON(R"({"index": 9})"));
    EXPECT_TRUE(event.contains("threads"));  // exceptions attach threads whatever the option says

    client->captureMessage("hello");
    event = lastEvent();
    EXPECT_EQ(event.at("level"), Value("info"));
    EXPECT_EQ(object(event.at("message")).at("formatted"), Value("hello"));
    EXPECT_FALSE(event.contains("threads"));

    options->attachStacktrace = true;  // the default
    makeClient()->captureMessage("hello");
    EXPECT_TRUE(lastEvent().contains("threads"));
}

TEST_F(DuviduClientTest, SampleRateDropsEventsButNeverTransactions)
{
    options->setSampleRate(0.0);
    auto client = makeClient();
    EXPECT_EQ(client->captureError(NSError("d", 1)), DuviduId::empty());
    EXPECT_TRUE(transport->envelopes().empty());
    EXPECT_EQ(transport->lost(), (std::vector<Lost>{{DuviduDataCategory::Error, DuviduDiscardReason::SampleRate}}));
    EXPECT_TRUE(logged("[DuviduClient:"));
    EXPECT_TRUE(logged("Event got sampled, will not send the event"));

    auto transaction = std::make_shared<DuviduEvent>();
    transaction->type = "transaction";
    EXPECT_NE(client->captureEvent(transaction), DuviduId::empty());
    EXPECT_EQ(transport->envelopes().size(), 1u);
    EXPECT_FALSE(lastEvent().contains("threads"));  // transactions carry no threads

    // The rate keeps what it draws at or below.
    options->setSampleRate(0.5);
    random = std::make_shared<duvidutest::ScriptedRandom>(std::deque<double>{0.5, 0.51});
    client = makeClient();
    EXPECT_NE(client->captureMessage("kept"), DuviduId::empty());
    EXPECT_EQ(client->captureMessage("dropped"), DuviduId::empty());
}

TEST_F(DuviduClientTest, UnsampledTransactionFromTheTracerIsCountedLost)
{
    auto client = makeClient();
    auto hub = std::make_shared<ClientHub>(client);
    auto context = DuviduTransactionContext("load", DuviduTransactionNameSource::Custom, "ui.load", "manual");
    context.sampled = DuviduSampleDecision::No;
    std::make_shared<DuviduTracer>(context, hub, DuviduTracerConfiguration())->finish();
    EXPECT_TRUE(transport->envelopes().empty());
    EXPECT_EQ(transport->lost(),
              (std::vector<Lost>{{DuviduDataCategory::Transaction, DuviduDiscardReason::SampleRate}}));

    // A sampled one is sent, with its trace in the envelope header.
    context.sampled = DuviduSampleDecision::Yes;
    context.sampleRate = 1.0;
    auto tracer = std::make_shared<DuviduTracer>(context, hub, DuviduTracerConfiguration());
    tracer->finish();
    ASSERT_EQ(transport->envelopes().size(), 1u);
    auto trace = transport->envelopes()[0].header().traceContext();
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->traceId, context.traceId);
    EXPECT_EQ(trace->transaction, "load");
    EXPECT_EQ(trace->sampleRate, "1");
    EXPECT_EQ(lastEvent().at("type"), Value("transaction"));
}

TEST_F(DuviduClientTest, ProcessorsAndBeforeSendMayDropAndAreCounted)
{
    auto client = makeClient();
    std::vector<std::string> order;
    DuviduGlobalEventProcessor::shared().addEventProcessor([&](std::shared_ptr<DuviduEvent> event) {
        order.push_back("first");
        event->logger = "processed";
        return event;
    });
    options->beforeSend = [&](std::shared_ptr<DuviduEvent> event) {
        order.push_back("beforeSend");
        EXPECT_EQ(event->logger, "processed");
        return event;
    };
    client->captureMessage("one");
    EXPECT_EQ(order, (std::vector<std::string>{"first", "beforeSend"}));
    EXPECT_EQ(lastEvent().at("logger"), Value("processed"));

    options->beforeSend = [](std::shared_ptr<DuviduEvent>) { return std::shared_ptr<DuviduEvent>(); };
    EXPECT_EQ(client->captureMessage("two"), DuviduId::empty());
    auto transaction = std::make_shared<DuviduEvent>();
    transaction->type = "transaction";
    EXPECT_EQ(client->captureEvent(transaction), DuviduId::empty());

    DuviduGlobalEventProcessor::shared().addEventProcessor(
        [](std::shared_ptr<DuviduEvent>) { return std::shared_ptr<DuviduEvent>(); });
    EXPECT_EQ(client->captureError(NSError("d", 1)), DuviduId::empty());
    EXPECT_TRUE(logged("DuviduScope callEventProcessors: An event processor decided to remove this event."));
    EXPECT_EQ(transport->lost(), (std::vector<Lost>{
                                     {DuviduDataCategory::Error, DuviduDiscardReason::BeforeSend},
                                     {DuviduDataCategory::Transaction, DuviduDiscardReason::BeforeSend},
                                     {DuviduDataCategory::Error, DuviduDiscardReason::EventProcessor},
                                 }));
    EXPECT_EQ(transport->envelopes().size(), 1u);
}

TEST_F(DuviduClientTest, EnrichmentOfReleaseSdkEnvironmentAndUser)
{
    DuviduBundleInfo::setCurrent(DuviduBundleInfo{"com.example.app", "1.2", "45", "app"});
    options->releaseName = "app@1.2+45";
    options->environment = "staging";
    fakeState->names = {"DuviduCrashIntegration", "DuviduANRTrackingIntegration"};
    auto client = makeClient();

    client->captureMessage("m");
    auto event = lastEvent();
    EXPECT_EQ(event.at("dist"), Value("45"));
    EXPECT_EQ(event.at("release"), Value("app@1.2+45"));
    EXPECT_EQ(event.at("environment"), Value("staging"));
    EXPECT_EQ(event.at("sdk"), duvidutest::parseJSON(
                                   R"({"name": "duvidu.cocoa", "version": "8.8.0", "integrations": ["Crash", "ANRTracking"]})"));
    auto installation = DuviduInstallation::id();
    ASSERT_TRUE(installation);
    EXPECT_EQ(event.at("user"), Value(Value::Object{{"id", *installation}}));

    // The caller's values stay, except the dist of the options, which always wins.
    options->dist = "override";
    options->sendDefaultPii = true;
    auto own = std::make_shared<DuviduEvent>();
    own->dist = "own";
    own->releaseName = "own@1";
    own->environment = "own-env";
    own->sdk = Value::Object{{"name", "hybrid"}};
    own->extra = Value::Object{{"__duvidu_sdk_integrations", Value::Array{"A"}}};
    own->user = DuviduUser("u");
    client->captureEvent(own);
    event = lastEvent();
    EXPECT_EQ(event.at("dist"), Value("override"));
    EXPECT_EQ(event.at("release"), Value("own@1"));
    EXPECT_EQ(event.at("environment"), Value("own-env"));
    EXPECT_EQ(event.at("sdk"), Value(Value::Object{{"name", "hybrid"}}));
    EXPECT_EQ(event.at("user"), duvidutest::parseJSON(R"({"id": "u", "ip_address": "{{auto}}"})"));

    auto listed = std::make_shared<DuviduEvent>();
    listed->extra = Value::Object{{"__duvidu_sdk_integrations", Value::Array{"A"}}};
    client->captureEvent(listed);
    EXPECT_EQ(object(lastEvent().at("sdk")).at("integrations"), duvidutest::parseJSON(R"(["A"])"));
    EXPECT_TRUE(listed->extra->contains("__duvidu_sdk_integrations"));  // left in place, never written
}

TEST_F(DuviduClientTest, CultureAndDeviceContextsOnlyForEventsThatHaveContext)
{
    auto client = makeClient();
    client->captureMessage("m", startedScope());
    auto contexts = object(lastEvent().at("contexts"));
    const auto& culture = object(contexts.at("culture"));
    EXPECT_EQ(culture.at("locale"), Value("de_DE"));
    EXPECT_EQ(culture.at("display_name"), Value("Deutsch (Deutschland)"));
    EXPECT_EQ(culture.at("calendar"), Value("Gregorianischer Kalender"));
    EXPECT_EQ(culture.at("timezone"), Value("Europe/Vienna"));
    EXPECT_TRUE(culture.at("is_24_hour_format").isBool());
    const auto& device = object(contexts.at("device"));
    EXPECT_EQ(device.at("free_memory"), duvidutest::parseJSON("1000"));
    EXPECT_EQ(device.at("free_storage"), duvidutest::parseJSON("2000"));
    EXPECT_TRUE(device.contains("processor_count"));
    EXPECT_EQ(device.at("arch"), Value("x86_64"));
    EXPECT_EQ(object(contexts.at("app")).at("app_memory"), duvidutest::parseJSON("3000"));

    client->captureMessage("m", std::make_shared<DuviduScope>());
    EXPECT_FALSE(object(lastEvent().at("contexts")).contains("culture"));
}

TEST_F(DuviduClientTest, CrashEventsAreSentAsTheyWere)
{
    auto client = makeClient();
    auto crash = std::make_shared<DuviduEvent>(DuviduLevel::Fatal);
    crash->exceptions = std::vector<DuviduException>{DuviduException("SIGSEGV", "EXC_BAD_ACCESS")};
    client->captureCrashEvent(crash, startedScope());
    auto event = lastEvent();
    EXPECT_FALSE(event.contains("threads"));
    EXPECT_FALSE(event.contains("debug_meta"));
    auto contexts = object(event.at("contexts"));
    EXPECT_FALSE(contexts.contains("culture"));
    EXPECT_FALSE(object(contexts.at("device")).contains("free_memory"));
    EXPECT_TRUE(object(contexts.at("device")).contains("charging"));

    // A watchdog termination loses what this process's state would wrongly tell about the ended one.
    auto watchdog = std::make_shared<DuviduEvent>(DuviduLevel::Fatal);
    DuviduException exception("killed", "watchdog");
    exception.mechanism = DuviduMechanism("watchdog_termination");
    watchdog->exceptions = std::vector<DuviduException>{exception};
    auto scope = startedScope();
    scope->setContextValue(Value::Object{{"app_memory", 5}, {"app_name", "v"}}, "app");
    client->captureCrashEvent(watchdog, scope);
    contexts = object(lastEvent().at("contexts"));
    EXPECT_EQ(object(contexts.at("device")), (Value::Object{{"arch", "x86_64"}}));
    EXPECT_EQ(object(contexts.at("app")), (Value::Object{{"app_name", "v"}}));
}

TEST_F(DuviduClientTest, OnCrashedLastRunRunsOnceForTwoCrashEventsOnTwoThreads)
{
    std::atomic<int> calls{0};
    options->onCrashedLastRun = [&](std::shared_ptr<DuviduEvent> event) {
        EXPECT_TRUE(event);
        ++calls;
    };
    sdkState = DuviduSDKState::facade();  // the flag of the SDK itself
    DuviduSDK::setCrashedLastRunCalled(false);
    auto client = makeClient();
    std::thread first([&] { client->captureCrashEvent(std::make_shared<DuviduEvent>(DuviduLevel::Fatal), nullptr); });
    std::thread second([&] { client->captureCrashEvent(std::make_shared<DuviduEvent>(DuviduLevel::Fatal), nullptr); });
    first.join();
    second.join();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(DuviduSDK::crashedLastRunCalled());
    EXPECT_EQ(transport->envelopes().size(), 2u);
    DuviduSDK::setCrashedLastRunCalled(false);
}

TEST_F(DuviduClientTest, OnCrashedLastRunIsNotUsedUpByADroppedCrashEvent)
{
    std::atomic<int> calls{0};
    options->onCrashedLastRun = [&](std::shared_ptr<DuviduEvent>) { ++calls; };
    bool drop = true;
    options->beforeSend = [&](std::shared_ptr<DuviduEvent> event) { return drop ? nullptr : event; };
    auto client = makeClient();
    client->captureCrashEvent(std::make_shared<DuviduEvent>(DuviduLevel::Fatal), nullptr);
    EXPECT_EQ(calls, 0);
    drop = false;
    client->captureCrashEvent(std::make_shared<DuviduEvent>(DuviduLevel::Fatal), nullptr);
    client->captureCrashEvent(std::make_shared<DuviduEvent>(DuviduLevel::Fatal), nullptr);
    EXPECT_EQ(calls, 1);
}

TEST_F(DuviduClientTest, SessionTravelsWithTheEventOnlyWithARelease)
{
    auto client = makeClient();
    int blockCalls = 0;
    auto session = std::make_shared<DuviduSession>("app@1", "install");
    auto block = [&] {
        ++blockCalls;
        return session;
    };
    auto id = client->captureError(NSError("d", 1), startedScope(), block);
    EXPECT_EQ(blockCalls, 1);
    auto envelope = transport->envelopes().back();
    EXPECT_EQ(envelope.header().eventId(), id);
    EXPECT_FALSE(envelope.header().traceContext());
    ASSERT_EQ(envelope.items().size(), 2u);
    EXPECT_EQ(envelope.items()[1].header()->type(), "session");

    // A dropped event does not count in the session.
    options->beforeSend = [](std::shared_ptr<DuviduEvent>) { return std::shared_ptr<DuviduEvent>(); };
    EXPECT_EQ(client->captureException(NSException("n", "r"), nullptr, block), DuviduId::empty());
    EXPECT_EQ(blockCalls, 1);
    options->beforeSend = nullptr;

    // Without a release the event goes alone.
    session = std::make_shared<DuviduSession>(std::nullopt, "install");
    client->captureError(NSError("d", 1), nullptr, block);
    EXPECT_EQ(transport->envelopes().back().items().size(), 1u);
    EXPECT_TRUE(logged("Session has no release name. Won't send it."));
    session = nullptr;
    client->captureError(NSError("d", 1), nullptr, block);
    EXPECT_EQ(transport->envelopes().back().items().size(), 1u);
}

TEST_F(DuviduClientTest, SessionsFeedbackEnvelopesAndTheScopesSpan)
{
    auto client = makeClient();
    client->captureSession(std::make_shared<DuviduSession>("app@1", "install"));
    ASSERT_EQ(transport->envelopes().size(), 1u);
    EXPECT_FALSE(transport->envelopes()[0].header().eventId());
    EXPECT_EQ(transport->envelopes()[0].items()[0].header()->type(), "session");
    client->captureSession(std::make_shared<DuviduSession>("", "install"));
    EXPECT_EQ(transport->envelopes().size(), 1u);

    client->captureUserFeedback(DuviduUserFeedback(DuviduId::empty()));
    EXPECT_TRUE(logged("Capturing UserFeedback with an empty event id. Won't send it."));
    EXPECT_EQ(transport->envelopes().size(), 1u);
    client->captureUserFeedback(DuviduUserFeedback(DuviduId()));
    EXPECT_EQ(transport->envelopes().back().items()[0].header()->type(), "user_report");

    // An event captured while a tracer is the scope's span carries its trace in the envelope header.
    auto scope = startedScope();
    auto tracer = std::make_shared<DuviduTracer>(
        DuviduTransactionContext("load", DuviduTransactionNameSource::Custom, "ui.load", "manual"), nullptr,
        DuviduTracerConfiguration());
    scope->setSpan(tracer);
    client->captureMessage("in a transaction", scope);
    auto trace = transport->envelopes().back().header().traceContext();
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->publicKey, "public");
    EXPECT_EQ(lastEvent().at("transaction"), Value("load"));
}

TEST_F(DuviduClientTest, ClosedClientSendsNothingButStillFlushesAndStores)
{
    options->shutdownTimeInterval = 0.25;
    auto client = makeClient();
    client->close();
    EXPECT_FALSE(client->isEnabled());
    EXPECT_TRUE(client->isDisabled());
    EXPECT_TRUE(logged("Closed the Client."));
    EXPECT_EQ(transport->flushes(), std::vector<double>{0.25});

    EXPECT_EQ(client->captureError(NSError("d", 1)), DuviduId::empty());
    EXPECT_EQ(client->captureMessage("m"), DuviduId::empty());
    EXPECT_EQ(client->captureException(NSException("n", "r")), DuviduId::empty());
    EXPECT_EQ(client->captureEvent(std::make_shared<DuviduEvent>()), DuviduId::empty());
    EXPECT_EQ(client->captureCrashEvent(std::make_shared<DuviduEvent>(), nullptr), DuviduId::empty());
    client->captureUserFeedback(DuviduUserFeedback(DuviduId()));
    client->captureSession(std::make_shared<DuviduSession>("app@1", "install"));
    EXPECT_TRUE(transport->envelopes().empty());
    EXPECT_TRUE(transport->lost().empty());
    int disabled = 0;
    for (const auto& line : logOutput->lines()) {
        if (line.find("[Duvidu] [debug] [DuviduClient:") == 0 &&
            line.find("] SDK disabled or no DSN set. Won't do anyting.") != std::string::npos) {
            ++disabled;
        }
    }
    EXPECT_EQ(disabled, 7);

    client->flush(1.0);
    EXPECT_EQ(transport->flushes(), (std::vector<double>{0.25, 1.0}));
    client->recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::NetworkError);
    EXPECT_EQ(transport->lost().size(), 1u);
    auto stored = client->fileManager()->envelopePaths().size();
    client->storeEnvelope(DuviduEnvelope(DuviduEnvelopeHeader(DuviduId(), nullptr),
                                         DuviduEnvelopeItem(DuviduSession("app@1", "install"))));
    EXPECT_EQ(client->fileManager()->envelopePaths().size(), stored + 1);

    // No DSN and switched-off options count as disabled too.
    options->setDsn(std::nullopt);
    EXPECT_TRUE(makeClient()->isDisabled());
}

TEST_F(DuviduClientTest, NoClientWithoutACacheFolder)
{
    {
        duvidutest::ScopedVariable cache("XDG_CACHE_HOME", "/proc/version/cache");
        EXPECT_EQ(DuviduClient::initWithOptions(options), nullptr);
        EXPECT_TRUE(logged("[Duvidu] [error] [DuviduClient:"));
        EXPECT_TRUE(logged("Cannot init filesystem."));
    }
    auto client = DuviduClient::initWithOptions(options);
    ASSERT_TRUE(client);
    EXPECT_TRUE(client->isEnabled());
    EXPECT_TRUE(client->fileManager());
    EXPECT_TRUE(client->threadInspector());
}

TEST_F(DuviduClientTest, EightThreadsCaptureWithoutLosingAnEvent)
{
    auto client = makeClient();
    constexpr int kThreads = 8, kPerThread = 1000;
    std::vector<std::vector<DuviduId>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto scope = startedScope();
            for (int i = 0; i < kPerThread; ++i) {
                ids[static_cast<size_t>(t)].push_back(client->captureError(NSError("d", i), scope));
            }
        });
    }
    for (auto& thread : threads) thread.join();

    std::set<std::string> returned;
    for (const auto& list : ids) {
        for (const auto& id : list) returned.insert(id.duviduIdString());
    }
    std::set<std::string> sent;
    for (const auto& envelope : transport->envelopes()) sent.insert(envelope.header().eventId()->duviduIdString());
    EXPECT_EQ(returned.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(sent, returned);
    EXPECT_TRUE(transport->lost().empty());
}

}  // namespace
