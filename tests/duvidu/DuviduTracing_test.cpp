// Sampling of events, transactions and profiles, and the tracing values the hub passes around.
#include <cmath>
#include <limits>

#include "Duvidu/DuviduProfilesSampler.h"
#include "Duvidu/DuviduSampling.h"
#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduTraceContext.h"
#include "Duvidu/DuviduTracer.h"
#include "Duvidu/DuviduTracerConfiguration.h"
#include "Duvidu/DuviduTracesSampler.h"
#include "Duvidu/DuviduTransaction.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

class DuviduTracingTest : public duvidutest::DuviduTest {
protected:
    std::shared_ptr<duvidutest::ScriptedRandom> useRandom(std::deque<double> numbers)
    {
        auto random = std::make_shared<duvidutest::ScriptedRandom>(std::move(numbers));
        DuviduDependencyContainer::sharedInstance()->setRandom(random);
        return random;
    }
    static DuviduSamplingContext contextFor(DuviduTransactionContext transaction)
    {
        return DuviduSamplingContext(std::move(transaction), {});
    }
    static DuviduTransactionContext newTransaction()
    {
        return DuviduTransactionContext("load", DuviduTransactionNameSource::Custom, "ui.load", "manual");
    }
};

TEST_F(DuviduTracingTest, RateIsComparedWithOneDrawInclusive)
{
    duvidutest::ScriptedRandom random({0.0, 0.3, 0.3, 0.999999, 0.0});
    EXPECT_TRUE(duvidu_isKeptByRate(0.0, random));  // a draw of exactly 0 keeps even at rate 0
    EXPECT_TRUE(duvidu_isKeptByRate(0.3, random));            // equal keeps
    EXPECT_FALSE(duvidu_isKeptByRate(0.29, random));
    EXPECT_TRUE(duvidu_isKeptByRate(1.0, random));
    EXPECT_FALSE(duvidu_isKeptByRate(std::nan(""), random));
    EXPECT_EQ(random.draws(), 5);

    auto none = duvidu_decisionForRate(std::nullopt, random);
    EXPECT_EQ(none.decision, DuviduSampleDecision::No);
    EXPECT_FALSE(none.sampleRate);
    EXPECT_EQ(random.draws(), 5);  // no rate, no draw
}

TEST_F(DuviduTracingTest, TracesSamplerFollowsItsOrderOfSources)
{
    auto random = useRandom({0.6});
    auto options = std::make_shared<DuviduOptions>();
    options->setTracesSampleRate(0.5);

    // Nothing to go on but the rate: 0.6 is above 0.5.
    auto byRate = DuviduTracesSampler(options).sample(contextFor(newTransaction()));
    EXPECT_EQ(byRate.decision, DuviduSampleDecision::No);
    EXPECT_EQ(byRate.sampleRate, 0.5);

    // The parent's decision wins over the rate, and nothing is drawn for it.
    auto child = newTransaction();
    child.parentSampled = DuviduSampleDecision::Yes;
    int before = random->draws();
    auto byParent = DuviduTracesSampler(options).sample(contextFor(child));
    EXPECT_EQ(byParent.decision, DuviduSampleDecision::Yes);
    EXPECT_FALSE(byParent.sampleRate);
    EXPECT_EQ(random->draws(), before);

    // The callback wins over the parent; its context is the one given.
    std::string seenName;
    options->setTracesSampler([&](const DuviduSamplingContext& context) -> std::optional<double> {
        seenName = context.transactionContext.name;
        return 0.7;
    });
    auto byCallback = DuviduTracesSampler(options).sample(contextFor(child));
    EXPECT_EQ(seenName, "load");
    EXPECT_EQ(byCallback.decision, DuviduSampleDecision::Yes);
    EXPECT_EQ(byCallback.sampleRate, 0.7);

    // A callback rate outside 0 to 1 counts as none, so the parent decides again.
    options->setTracesSampler([](const DuviduSamplingContext&) -> std::optional<double> { return 1.5; });
    child.parentSampled = DuviduSampleDecision::No;
    EXPECT_EQ(DuviduTracesSampler(options).sample(contextFor(child)).decision, DuviduSampleDecision::No);

    // A decision the context already carries is kept as it is.
    auto decided = newTransaction();
    decided.sampled = DuviduSampleDecision::Yes;
    decided.sampleRate = 0.25;
    auto kept = DuviduTracesSampler(options).sample(contextFor(decided));
    EXPECT_EQ(kept.decision, DuviduSampleDecision::Yes);
    EXPECT_EQ(kept.sampleRate, 0.25);
}

TEST_F(DuviduTracingTest, TracesSamplerSamplesNothingWhileTracingIsOff)
{
    useRandom({0.0});
    EXPECT_EQ(DuviduTracesSampler(nullptr).sample(contextFor(newTransaction())).decision, DuviduSampleDecision::No);

    auto options = std::make_shared<DuviduOptions>();
    options->setEnableTracing(false);
    options->setTracesSampleRate(1.0);  // set after tracing was switched off by hand: stays off
    ASSERT_FALSE(options->isTracingEnabled());
    EXPECT_EQ(DuviduTracesSampler(options).sample(contextFor(newTransaction())).decision, DuviduSampleDecision::No);
}

TEST_F(DuviduTracingTest, ProfilesAreSampledOnlyForSampledTransactions)
{
    useRandom({0.2});
    auto options = std::make_shared<DuviduOptions>();
    options->setProfilesSampleRate(0.5);
    auto context = contextFor(newTransaction());
    DuviduProfilesSampler sampler(options);

    EXPECT_EQ(sampler.sample(context, {DuviduSampleDecision::No, 1.0}).decision, DuviduSampleDecision::No);
    auto yes = sampler.sample(context, {DuviduSampleDecision::Yes, 1.0});
    EXPECT_EQ(yes.decision, DuviduSampleDecision::Yes);
    EXPECT_EQ(yes.sampleRate, 0.5);

    auto byHand = std::make_shared<DuviduOptions>();
    byHand->enableProfiling = true;
    EXPECT_EQ(DuviduProfilesSampler(byHand).sample(context, {DuviduSampleDecision::Yes, 1.0}).decision,
              DuviduSampleDecision::Yes);
    EXPECT_EQ(DuviduProfilesSampler(std::make_shared<DuviduOptions>())
                  .sample(context, {DuviduSampleDecision::Yes, 1.0})
                  .decision,
              DuviduSampleDecision::No);
}

// A hub that keeps what its tracers hand it.
class RecordingTracerHub : public DuviduTracerHub {
public:
    std::shared_ptr<DuviduScope> scope() override { return hubScope; }
    DuviduId captureTransaction(const std::shared_ptr<DuviduTransaction>& transaction,
                                const std::shared_ptr<DuviduScope>& scope) override
    {
        captured.emplace_back(transaction, scope);
        return transaction->eventId;
    }

    std::shared_ptr<DuviduScope> hubScope = std::make_shared<DuviduScope>();
    std::vector<std::pair<std::shared_ptr<DuviduTransaction>, std::shared_ptr<DuviduScope>>> captured;
};

TEST_F(DuviduTracingTest, FinishedTracerBecomesATransactionOfItsHubOnce)
{
    auto hub = std::make_shared<RecordingTracerHub>();
    auto context = newTransaction();
    context.sampled = DuviduSampleDecision::Yes;
    auto tracer = std::make_shared<DuviduTracer>(context, hub, DuviduTracerConfiguration::defaultConfiguration());
    hub->hubScope->setSpan(tracer);
    EXPECT_EQ(DuviduTracer::getTracer(hub->hubScope->span()), tracer);
    EXPECT_FALSE(tracer->isFinished());
    EXPECT_FALSE(tracer->serialize().contains("timestamp"));

    clock->now += std::chrono::milliseconds(1500);
    tracer->finish();
    tracer->finish();
    ASSERT_EQ(hub->captured.size(), 1u);
    EXPECT_EQ(hub->captured[0].second, hub->hubScope);
    EXPECT_FALSE(hub->hubScope->span());  // no longer the scope's current work

    auto transaction = hub->captured[0].first;
    EXPECT_EQ(transaction->trace(), tracer);
    auto json = transaction->serialize();
    EXPECT_EQ(json.at("type"), Value("transaction"));
    EXPECT_EQ(json.at("transaction"), Value("load"));
    EXPECT_EQ(json.at("spans"), Value(Value::Array{}));
    double start = 0, end = 0;
    ASSERT_TRUE(json.at("start_timestamp").numberAsDouble(start));
    ASSERT_TRUE(json.at("timestamp").numberAsDouble(end));
    EXPECT_DOUBLE_EQ(end - start, 1.5);

    // The transaction's own trace wins over whatever the scope merged in.
    transaction->context = Value::Object{{"trace", Value::Object{{"span_id", "other"}}}, {"os", Value::Object{}}};
    auto contexts = *transaction->serialize().at("contexts").asObject();
    EXPECT_EQ(contexts.at("trace"), Value(tracer->serialize()));
    EXPECT_TRUE(contexts.contains("os"));
    const auto& trace = *contexts.at("trace").asObject();
    EXPECT_EQ(trace.at("trace_id"), Value(context.traceId.duviduIdString()));
    EXPECT_EQ(trace.at("span_id"), Value(context.spanId.duviduSpanIdString()));
    EXPECT_EQ(trace.at("op"), Value("ui.load"));
    EXPECT_EQ(trace.at("origin"), Value("manual"));
    EXPECT_FALSE(trace.contains("parent_span_id"));
}

TEST_F(DuviduTracingTest, TracerWithoutHubFinishesQuietlyAndPlainSpansHaveNoTracer)
{
    auto tracer = std::make_shared<DuviduTracer>(newTransaction(), nullptr, DuviduTracerConfiguration());
    tracer->finish();
    EXPECT_TRUE(tracer->isFinished());

    class PlainSpan : public DuviduSpan {
        Value::Object serialize() const override { return {}; }
    };
    EXPECT_EQ(DuviduTracer::getTracer(std::make_shared<PlainSpan>()), nullptr);
    EXPECT_EQ(DuviduTracer::getTracer(nullptr), nullptr);
}

TEST_F(DuviduTracingTest, TraceContextOfAnEnvelopeHeader)
{
    DuviduOptions options;
    options.setDsn("https://key123@ingest.example.com/42");
    options.releaseName = "app@1.0+7";
    options.environment = "staging";
    auto context = newTransaction();
    context.sampleRate = 0.25;
    DuviduTracer tracer(context, nullptr, DuviduTracerConfiguration());
    auto scope = std::make_shared<DuviduScope>();
    DuviduUser user("u1");
    user.segment = "beta";
    scope->setUser(user);

    auto trace = DuviduTraceContext::initWithTracer(tracer, scope, options);
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->serialize(), (Value::Object{{"trace_id", context.traceId.duviduIdString()},
                                                 {"public_key", "key123"},
                                                 {"release", "app@1.0+7"},
                                                 {"environment", "staging"},
                                                 {"transaction", "load"},
                                                 {"user_segment", "beta"},
                                                 {"sample_rate", "0.25"}}));
    // It reads back from the header's dictionary.
    EXPECT_EQ(DuviduTraceContext::initWithDict(trace->serialize())->serialize(), trace->serialize());

    auto bare = DuviduTraceContext::initWithTracer(tracer, nullptr, options);
    EXPECT_FALSE(bare->userSegment);

    DuviduOptions noDsn;
    noDsn.setDsn(std::nullopt);
    EXPECT_EQ(DuviduTraceContext::initWithTracer(tracer, scope, noDsn), nullptr);
    auto untraced = newTransaction();
    untraced.traceId = DuviduId::empty();
    EXPECT_EQ(DuviduTraceContext::initWithTracer(DuviduTracer(untraced, nullptr, {}), scope, options), nullptr);
}

}  // namespace
