// The scope: its mutators and what its observers are told, copies, clearing, its JSON, and merging into events and
// sessions; plus a stress test meant to run clean under ThreadSanitizer.
#include <atomic>
#include <thread>

#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduTracer.h"
#include "DuviduJSONTestSupport.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
using duvidutest::parseJSON;
using duvidutest::roundTrip;

namespace {

// Writes down every call as "operation value".
class RecordingObserver : public DuviduScopeObserver {
public:
    std::vector<std::string> calls;
    void setUser(const std::optional<DuviduUser>& user) override
    {
        calls.push_back("setUser " + (user ? user->userId.value_or("") : "none"));
    }
    void setTags(const std::map<std::string, std::string>& tags) override
    {
        std::string text;
        for (const auto& [key, value] : tags) text += key + "=" + value + ";";
        calls.push_back("setTags " + text);
    }
    void setExtras(const Value::Object& extras) override { calls.push_back("setExtras " + Value(extras).description()); }
    void setContext(const Value::Object& context) override
    {
        calls.push_back("setContext " + Value(context).description());
    }
    void setDist(const std::optional<std::string>& dist) override { calls.push_back("setDist " + dist.value_or("none")); }
    void setEnvironment(const std::optional<std::string>& environment) override
    {
        calls.push_back("setEnvironment " + environment.value_or("none"));
    }
    void setFingerprint(const std::vector<std::string>& fingerprint) override
    {
        std::string text;
        for (const auto& part : fingerprint) text += part + ";";
        calls.push_back("setFingerprint " + text);
    }
    void setLevel(DuviduLevel level) override { calls.push_back("setLevel " + nameForLevel(level)); }
    void addSerializedBreadcrumb(const Value::Object& breadcrumb) override
    {
        auto message = breadcrumb.find("message");
        calls.push_back("addSerializedBreadcrumb " + (message == breadcrumb.end() ? "" : message->second.description()));
    }
    void clearBreadcrumbs() override { calls.push_back("clearBreadcrumbs"); }
    void clear() override { calls.push_back("clear"); }
};

class TestSpan : public DuviduSpan {
public:
    Value::Object serialize() const override { return {{"span_id", "b1"}}; }
};

class DuviduScopeTest : public duvidutest::DuviduTest {
protected:
    void SetUp() override
    {
        DuviduTest::SetUp();
        scope->addObserver(observer);
    }
    std::shared_ptr<DuviduScope> scope = std::make_shared<DuviduScope>();
    std::shared_ptr<RecordingObserver> observer = std::make_shared<RecordingObserver>();
};

DuviduBreadcrumb crumb(const std::string& message)
{
    DuviduBreadcrumb breadcrumb;
    breadcrumb.message = message;
    return breadcrumb;
}

TEST_F(DuviduScopeTest, BreadcrumbsKeepTheNewestUpToTheCapWhileObserversSeeEveryOne)
{
    for (int i = 0; i < 101; ++i) scope->addBreadcrumb(crumb(std::to_string(i)));
    auto held = scope->breadcrumbs();
    ASSERT_EQ(held.size(), 100u);
    EXPECT_EQ(held.front().message, "1");
    EXPECT_EQ(held.back().message, "100");
    ASSERT_EQ(observer->calls.size(), 101u);
    EXPECT_EQ(observer->calls.front(), "addSerializedBreadcrumb 0");

    auto lines = logOutput->lines();
    ASSERT_EQ(lines.size(), 101u);
    EXPECT_EQ(lines[0].rfind("[Duvidu] [debug] [DuviduScope:", 0), 0u);
    EXPECT_NE(lines[0].find("] Add breadcrumb: <DuviduBreadcrumb: 0x"), std::string::npos);

    DuviduScope none(0);
    auto silent = std::make_shared<RecordingObserver>();
    none.addObserver(silent);
    none.addBreadcrumb(crumb("dropped"));
    EXPECT_TRUE(none.breadcrumbs().empty());
    EXPECT_TRUE(silent->calls.empty());
    EXPECT_EQ(logOutput->lines().size(), 101u);

    // clear keeps the cap and tells the observers only clear.
    DuviduScope small(2);
    auto smallObserver = std::make_shared<RecordingObserver>();
    small.addObserver(smallObserver);
    small.setTagValue("v", "k");
    small.setUser(DuviduUser("1"));
    small.clear();
    EXPECT_EQ(smallObserver->calls, (std::vector<std::string>{"setTags k=v;", "setUser 1", "clear"}));
    for (auto message : {"a", "b", "c"}) small.addBreadcrumb(crumb(message));
    EXPECT_EQ(small.breadcrumbs().size(), 2u);
    small.clearBreadcrumbs();
    EXPECT_TRUE(small.breadcrumbs().empty());
    EXPECT_EQ(smallObserver->calls.back(), "clearBreadcrumbs");
}

TEST_F(DuviduScopeTest, MutatorsMergeAndTellTheObserversTheWholeContainer)
{
    scope->setTags(std::nullopt);
    EXPECT_TRUE(observer->calls.empty());
    scope->setTags(std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}});
    scope->setTags(std::map<std::string, std::string>{{"b", "3"}});
    scope->setTagValue(std::nullopt, "a");
    scope->removeTagForKey("missing");
    scope->setExtraValue(Value(1), "x");
    scope->setExtras(Value::Object{{"y", 2}});
    scope->removeExtraForKey("x");
    scope->setContextValue(Value::Object{{"name", "Linux"}}, "os");
    scope->setContextValue(Value::Object{{"model", "pc"}}, "device");
    scope->removeContextForKey("device");
    scope->setFingerprint(std::vector<std::string>{"a", "b"});
    scope->setFingerprint(std::nullopt);
    scope->setDist("7");
    scope->setEnvironment(std::nullopt);
    scope->setLevel(DuviduLevel::Fatal);
    EXPECT_EQ(observer->calls, (std::vector<std::string>{
                                   "setTags a=1;b=2;",
                                   "setTags a=1;b=3;",
                                   "setTags b=3;",
                                   "setTags b=3;",
                                   "setExtras {x = 1}",
                                   "setExtras {x = 1, y = 2}",
                                   "setExtras {y = 2}",
                                   "setContext {os = {name = Linux}}",
                                   "setContext {device = {model = pc}, os = {name = Linux}}",
                                   "setContext {os = {name = Linux}}",
                                   "setFingerprint a;b;",
                                   "setFingerprint ",
                                   "setDist 7",
                                   "setEnvironment none",
                                   "setLevel fatal",
                               }));
    EXPECT_EQ(scope->tags(), (std::map<std::string, std::string>{{"b", "3"}}));
    EXPECT_TRUE(scope->fingerprints().empty());
    EXPECT_EQ(scope->levelEnum(), DuviduLevel::Fatal);

    // A copy holds the same content, but its changes reach no observer.
    scope->setUser(DuviduUser("u"));
    scope->addAttachment(DuviduAttachment::withData(dataFromString("x"), "x.txt"));
    scope->addBreadcrumb(crumb("kept"));
    auto told = observer->calls.size();
    DuviduScope copy(*scope);
    EXPECT_EQ(copy.serialize(), scope->serialize());
    EXPECT_EQ(copy.attachments().size(), 1u);
    copy.setTagValue("v", "new");
    copy.addBreadcrumb(crumb("only in the copy"));
    copy.clear();
    EXPECT_EQ(observer->calls.size(), told);
    EXPECT_EQ(scope->tags().size(), 1u);
}

TEST_F(DuviduScopeTest, SerializeWritesOnlyWhatIsSet)
{
    EXPECT_TRUE(DuviduScope().serialize().empty());
    scope->setTagValue("debug", "build");
    scope->setExtraValue(Value(DuviduDate(std::chrono::seconds(1))), "when");
    scope->setContextValue(Value::Object{{"name", "Linux"}}, "os");
    scope->setUser(DuviduUser("42"));
    scope->setDist("1");
    scope->setEnvironment("production");
    scope->setFingerprint(std::vector<std::string>{"f"});
    scope->setLevel(DuviduLevel::Warning);
    auto breadcrumb = crumb("hello");
    breadcrumb.timestamp = DuviduDate(std::chrono::milliseconds(1500));
    scope->addBreadcrumb(breadcrumb);
    auto json = scope->serialize();
    EXPECT_EQ(json.at("extra"), Value(Value::Object{{"when", DuviduDate(std::chrono::seconds(1))}}));  // not sanitized
    json.erase("extra");
    EXPECT_EQ(roundTrip(json), parseJSON(R"({"tags":{"build":"debug"},"context":{"os":{"name":"Linux"}},
        "user":{"id":"42"},"dist":"1","environment":"production","fingerprint":["f"],"level":"warning",
        "breadcrumbs":[{"level":"info","category":"default","timestamp":"1970-01-01T00:00:01.500Z","message":"hello"}]})"));
}

TEST_F(DuviduScopeTest, ApplyToEventMergesInItsOrder)
{
    auto bare = DuviduScope().applyToEvent(std::make_shared<DuviduEvent>(), 100);
    EXPECT_EQ(bare->serialize().at("tags"), Value(Value::Object{}));
    EXPECT_EQ(bare->breadcrumbs->size(), 0u);
    EXPECT_EQ(bare->context, Value::Object{});

    scope->setTags(std::map<std::string, std::string>{{"shared", "scope"}, {"scope", "1"}});
    scope->setExtras(Value::Object{{"shared", "scope"}});
    scope->setFingerprint(std::vector<std::string>{"scope"});
    for (int i = 0; i < 50; ++i) scope->addBreadcrumb(crumb(std::to_string(i)));
    scope->setUser(DuviduUser("scope-user"));
    scope->setDist("scope-dist");
    scope->setEnvironment("scope-env");
    scope->setLevel(DuviduLevel::Warning);
    scope->setContextValue(Value::Object{{"name", "Linux"}, {"version", "6"}}, "os");
    scope->setContextValue(Value::Object{{"arch", "x86_64"}}, "device");

    auto event = std::make_shared<DuviduEvent>(DuviduLevel::Error);
    event->tags = Value::Object{{"shared", "event"}};
    event->user = DuviduUser("event-user");
    event->dist = "event-dist";
    event->context = Value::Object{{"os", Value::Object{{"version", "7"}}}, {"app", Value::Object{{"id", "v"}}}};
    auto same = scope->applyToEvent(event, 10);
    EXPECT_EQ(same, event);
    EXPECT_EQ(event->tags, (Value::Object{{"shared", "event"}, {"scope", "1"}}));
    EXPECT_EQ(event->extra, (Value::Object{{"shared", "scope"}}));
    EXPECT_EQ(event->fingerprint, std::vector<std::string>{"scope"});
    ASSERT_EQ(event->breadcrumbs->size(), 10u);
    EXPECT_EQ(event->breadcrumbs->front().message, "0");
    EXPECT_EQ(event->breadcrumbs->back().message, "9");
    EXPECT_EQ(event->user, DuviduUser("scope-user"));
    EXPECT_EQ(event->dist, "event-dist");
    EXPECT_EQ(event->environment, "scope-env");
    EXPECT_EQ(event->level, DuviduLevel::Warning);
    EXPECT_EQ(event->context, (Value::Object{{"os", Value::Object{{"name", "Linux"}, {"version", "7"}}},
                                             {"device", Value::Object{{"arch", "x86_64"}}},
                                             {"app", Value::Object{{"id", "v"}}}}));
    EXPECT_FALSE(event->transaction);

    auto withEmpty = std::make_shared<DuviduEvent>();
    withEmpty->breadcrumbs = std::vector<DuviduBreadcrumb>{};
    withEmpty->fingerprint = std::vector<std::string>{"own"};
    scope->setLevel(DuviduLevel::None);
    scope->applyToEvent(withEmpty, 100);
    EXPECT_TRUE(withEmpty->breadcrumbs->empty());
    EXPECT_EQ(withEmpty->fingerprint, std::vector<std::string>{"own"});
    EXPECT_EQ(withEmpty->level, DuviduLevel::None);
    EXPECT_EQ(scope->applyToEvent(nullptr, 100), nullptr);
}

TEST_F(DuviduScopeTest, SpanBecomesTheTraceContextAndNamesTheTransaction)
{
    auto tracer = std::make_shared<DuviduTracer>(
        DuviduTransactionContext("Launch", DuviduTransactionNameSource::Custom, "ui.load", "manual"), nullptr,
        DuviduTracerConfiguration::defaultConfiguration());
    scope->setSpan(tracer);
    auto event = scope->applyToEvent(std::make_shared<DuviduEvent>(), 100);
    EXPECT_EQ(event->transaction, "Launch");
    EXPECT_EQ(event->context->at("trace"), Value(tracer->serialize()));

    auto transaction = std::make_shared<DuviduEvent>();
    transaction->type = "transaction";
    transaction->transaction = "Own";
    transaction->context = Value::Object{{"trace", Value::Object{{"span_id", "own"}}}};
    scope->applyToEvent(transaction, 100);
    EXPECT_EQ(transaction->transaction, "Own");
    EXPECT_EQ(transaction->context->at("trace"), Value(tracer->serialize()));

    scope->setSpan(std::make_shared<TestSpan>());
    auto plain = scope->applyToEvent(std::make_shared<DuviduEvent>(), 100);
    EXPECT_FALSE(plain->transaction);
    EXPECT_EQ(plain->context->at("trace"), Value(Value::Object{{"span_id", "b1"}}));

    // The block may replace the span it runs with.
    std::shared_ptr<DuviduSpan> seen;
    scope->useSpan([&](const std::shared_ptr<DuviduSpan>& span) {
        seen = span;
        scope->setSpan(nullptr);
    });
    EXPECT_TRUE(seen);
    EXPECT_FALSE(scope->span());
    scope->clear();
    EXPECT_FALSE(scope->applyToEvent(std::make_shared<DuviduEvent>(), 100)->context->contains("trace"));
}

TEST_F(DuviduScopeTest, SessionsGetTheUserAndEnvironmentAndCrashReportFilesBecomeAttachments)
{
    DuviduSession session("app@1", "install");
    session.setEnvironment("production");
    scope->applyToSession(session);
    EXPECT_FALSE(session.user());
    EXPECT_EQ(session.environment(), "production");
    scope->setUser(DuviduUser("42"));
    scope->setEnvironment("staging");
    scope->applyToSession(session);
    EXPECT_EQ(session.user(), DuviduUser("42"));
    EXPECT_EQ(session.environment(), "staging");
    EXPECT_EQ(session.copy()->user(), DuviduUser("42"));

    session.endSessionCrashedWithTimestamp(session.started() + std::chrono::seconds(3));
    EXPECT_EQ(session.status(), DuviduSessionStatus::Crashed);
    EXPECT_EQ(session.duration(), 3.0);
    EXPECT_EQ(session.serialize().at("status"), Value("crashed"));

    scope->addCrashReportAttachmentInPath("/cache/report/view-hierarchy.json");
    scope->addCrashReportAttachmentInPath("/cache/report/log.txt");
    auto attachments = scope->attachments();
    ASSERT_EQ(attachments.size(), 2u);
    EXPECT_EQ(attachments[0].filename(), "view-hierarchy.json");
    EXPECT_EQ(attachments[0].contentType(), "application/json");
    EXPECT_EQ(attachments[0].attachmentType(), DuviduAttachmentType::ViewHierarchy);
    EXPECT_EQ(attachments[1].filename(), "log.txt");
    EXPECT_FALSE(attachments[1].contentType());
    EXPECT_EQ(attachments[1].attachmentType(), DuviduAttachmentType::EventAttachment);
    scope->clearAttachments();
    EXPECT_TRUE(scope->attachments().empty());
}

// Counts breadcrumbs; every other call only reads what it was given.
class CountingObserver : public DuviduScopeObserver {
public:
    std::atomic<int> breadcrumbs{0};
    std::atomic<size_t> seen{0};
    void setUser(const std::optional<DuviduUser>& user) override { seen += user ? 1 : 0; }
    void setTags(const std::map<std::string, std::string>& tags) override { seen += tags.size(); }
    void setExtras(const Value::Object& extras) override { seen += extras.size(); }
    void setContext(const Value::Object& context) override { seen += context.size(); }
    void setDist(const std::optional<std::string>& dist) override { seen += dist ? dist->size() : 0; }
    void setEnvironment(const std::optional<std::string>&) override {}
    void setFingerprint(const std::vector<std::string>& fingerprint) override { seen += fingerprint.size(); }
    void setLevel(DuviduLevel) override {}
    void addSerializedBreadcrumb(const Value::Object& breadcrumb) override
    {
        seen += breadcrumb.size();
        ++breadcrumbs;
    }
    void clearBreadcrumbs() override {}
    void clear() override {}
};

TEST_F(DuviduScopeTest, ConcurrentMutationsMergesAndObserverAdditions)
{
    DuviduLog::configure(true, DuviduLevel::Error);
    constexpr int kThreads = 8;
    constexpr int kOperations = 20000;
    scope = std::make_shared<DuviduScope>();  // without the fixture's observer, which writes down calls unguarded
    auto counting = std::make_shared<CountingObserver>();
    scope->addObserver(counting);
    std::atomic<int> added{0};
    std::atomic<bool> overCap{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kOperations; ++i) {
                auto key = std::to_string(i % 7);
                switch (i % 10) {
                case 0:
                case 1:
                case 2:
                case 3:
                    scope->addBreadcrumb(crumb(std::to_string(t)));
                    ++added;
                    break;
                case 4: i % 20 == 4 ? scope->setTagValue(std::to_string(t), key) : scope->removeTagForKey(key); break;
                case 5: scope->setExtraValue(Value(i), key); break;
                case 6: scope->setContextValue(Value::Object{{"thread", t}}, key); break;
                case 7:
                    scope->setUser(DuviduUser(std::to_string(t)));
                    scope->setDist(std::to_string(i));
                    scope->setLevel(static_cast<DuviduLevel>(i % 6));
                    break;
                case 8: {
                    auto event = scope->applyToEvent(std::make_shared<DuviduEvent>(), 100);
                    if (event->breadcrumbs->size() > 100) overCap = true;
                    break;
                }
                default:
                    if (i % 1000 == 9) scope->addObserver(std::make_shared<CountingObserver>());
                    else if (i % 100 == 19) (void)scope->serialize();
                    else scope->setFingerprint(std::vector<std::string>{key});
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_FALSE(overCap.load());
    EXPECT_EQ(scope->breadcrumbs().size(), static_cast<size_t>(std::min(added.load(), 100)));
    EXPECT_EQ(counting->breadcrumbs.load(), added.load());
    EXPECT_EQ(added.load(), kThreads * kOperations * 4 / 10);
}

}  // namespace
