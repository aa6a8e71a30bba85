#include "Duvidu/DuviduHttpTransport.h"

#include <atomic>
#include <cmath>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduSerialization.h"
#include "Duvidu/DuviduTransportAdapter.h"
#include "Duvidu/DuviduTransportFactory.h"
#include "DuviduTestSupport.h"
#include "IngestServer.h"
#include "support/ReadOnlyFolder.h"
#include "support/TempHome.h"

using namespace duvidu;
using duvidutest::IngestServer;
using Start = vctest::LoopbackHttpServer::Start;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// A clock that moves only when the test says so; safe to read from the transport's queue meanwhile.
class SteppingClock : public DuviduCurrentDateProvider {
public:
    DuviduDate date() const override { return DuviduDate(std::chrono::microseconds(micros_.load())); }
    uint64_t dispatchTimeNow() const override { return 0; }
    int64_t timezoneOffset() const override { return 0; }
    uint64_t systemTime() const override { return uptime_.load(); }
    void advance(std::chrono::seconds by)
    {
        micros_ += std::chrono::microseconds(by).count();
        uptime_ += std::chrono::nanoseconds(by).count();
    }
    // The wall clock alone, as when someone sets it.
    void setBack(std::chrono::seconds by) { micros_ -= std::chrono::microseconds(by).count(); }

private:
    std::atomic<int64_t> micros_{1700000000LL * 1000000};
    std::atomic<uint64_t> uptime_{0};
};

// Records the delays of the timers the transport sets, and never fires them.
class RecordingQueue : public DuviduDispatchQueueWrapper {
public:
    RecordingQueue() : DuviduDispatchQueueWrapper("duvidu-test") {}
    void dispatchAfter(double delaySeconds, std::function<void()>) override
    {
        std::lock_guard lock(mutex_);
        delays_.push_back(delaySeconds);
    }
    std::vector<double> delays()
    {
        std::lock_guard lock(mutex_);
        return delays_;
    }

private:
    std::mutex mutex_;
    std::vector<double> delays_;
};

DuviduEnvelope errorEnvelope(const DuviduId& id = DuviduId())
{
    auto payload = dataFromString(R"({"event_id":")" + id.duviduIdString() + R"(","level":"error"})");
    auto header = std::make_shared<DuviduEnvelopeItemHeader>("event", payload.size());
    return DuviduEnvelope(DuviduEnvelopeHeader(id, nullptr), DuviduEnvelopeItem(header, payload));
}

std::shared_ptr<DuviduEnvelope> sentEnvelope(const vctest::HttpRequest& request)
{
    return DuviduSerialization::envelopeWithData(IngestServer::inflate(request.body));
}

std::vector<std::string> sentIds(IngestServer& server)
{
    std::vector<std::string> ids;
    for (const auto& request : server.requests()) {
        auto envelope = sentEnvelope(request);
        ids.push_back(envelope && envelope->header().eventId() ? envelope->header().eventId()->duviduIdString() : "?");
    }
    return ids;
}

std::string itemText(const DuviduEnvelopeItem& item)
{
    return std::string(item.data().begin(), item.data().end());
}

// Sends one more envelope and gives the client report it carried as text; empty when it carried none.
std::string reportWithNextEnvelope(DuviduTransport& transport, IngestServer& server)
{
    transport.sendEnvelope(errorEnvelope());
    EXPECT_TRUE(transport.flush(10));
    const auto requests = server.requests();
    auto envelope = requests.empty() ? nullptr : sentEnvelope(requests.back());
    for (const auto& item : envelope ? envelope->items() : std::vector<DuviduEnvelopeItem>{}) {
        if (item.header()->type() == "client_report") return itemText(item);
    }
    return "";
}

class DuviduHttpTransportTest : public duvidutest::DuviduTest {
protected:
    std::shared_ptr<DuviduFileManager> makeFileManager()
    {
        return DuviduFileManager::initWithOptions(*options, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                                  std::make_shared<DuviduDispatchQueueWrapper>());
    }
    std::shared_ptr<DuviduTransport> makeTransport(const IngestServer& server)
    {
        options->setDsn(server.dsn());
        fileManager = makeFileManager();
        return DuviduTransportFactory::initTransport(options, fileManager);
    }
    size_t storedCount() { return fileManager->envelopePaths().size(); }
    // 400 envelopes: 50 from each of 8 threads at once.
    static void sendFromEightThreads(DuviduTransport& transport)
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 50; ++i) transport.sendEnvelope(errorEnvelope());
            });
        }
        for (auto& thread : threads) thread.join();
    }

    vctest::TempHome home;
    std::shared_ptr<DuviduOptions> options = std::make_shared<DuviduOptions>();
    std::shared_ptr<DuviduFileManager> fileManager;
};

TEST_F(DuviduHttpTransportTest, PostsTheStoredEnvelopeGzippedWithSentAtAndTheAuthHeader)
{
    IngestServer server;
    auto transport = makeTransport(server);
    const DuviduId id;
    transport->sendEnvelope(errorEnvelope(id));
    ASSERT_TRUE(transport->flush(10));

    ASSERT_EQ(server.requestCount(), 1u);
    const auto request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/42/envelope/");
    EXPECT_EQ(request.header("content-encoding"), "gzip");
    EXPECT_EQ(request.header("x-duvidu-auth"), "Duvidu key=testkey, client=duvidu.cocoa/8.8.0");
    EXPECT_EQ(request.header("content-type"), "application/x-duvidu-envelope");

    auto expected = errorEnvelope(id);
    expected.header().setSentAt(clock->now);
    EXPECT_EQ(IngestServer::inflate(request.body), DuviduSerialization::dataWithEnvelope(expected));
    EXPECT_EQ(storedCount(), 0u);
}

TEST_F(DuviduHttpTransportTest, AnyAnswerDeletesTheFileAndNoAnswerKeepsItForExactlyOneLaterDelivery)
{
    IngestServer server(Start::Refusing);
    auto transport = makeTransport(server);
    const DuviduId refused;
    transport->sendEnvelope(errorEnvelope(refused));
    ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(storedCount(), 1u);
    EXPECT_EQ(server.requestCount(), 0u);

    server.answerWith(500);
    server.listen();
    ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(storedCount(), 0u);
    server.answerWith(200);
    const DuviduId accepted;
    transport->sendEnvelope(errorEnvelope(accepted));
    ASSERT_TRUE(transport->flush(10));
    ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(storedCount(), 0u);
    EXPECT_EQ(sentIds(server), (std::vector{refused.duviduIdString(), accepted.duviduIdString()}));
}

TEST_F(DuviduHttpTransportTest, RefusedEnvelopesAreReportedLostAndTheCountsTheyCarriedArriveOnce)
{
    IngestServer server;
    auto transport = makeTransport(server);
    transport->recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::SampleRate);
    // Each refused envelope carries the counts so far back with it.
    const std::pair<int, const char*> refusals[] = {{500, ""}, {400, ""}, {413, ""}, {429, "Retry-After: 0\r\n"}};
    for (auto [status, header] : refusals) {
        server.answerWith(status, header);
        transport->sendEnvelope(errorEnvelope());
        ASSERT_TRUE(transport->flush(10));
        EXPECT_EQ(storedCount(), 0u);
    }
    EXPECT_EQ(server.requestCount(), 4u);

    server.answerWith(200);
    EXPECT_NE(reportWithNextEnvelope(*transport, server)
                  .find(R"("discarded_events":[{"category":"error","quantity":1,"reason":"sample_rate"},)"
                        R"({"category":"error","quantity":4,"reason":"network_error"}])"),
              std::string::npos);
    EXPECT_EQ(reportWithNextEnvelope(*transport, server), "");
    EXPECT_EQ(server.requestCount(), 6u);
}

TEST_F(DuviduHttpTransportTest, ACacheThatTakesNothingSendsEachEnvelopeOnceFromMemoryAndKeepsItsCounts)
{
    IngestServer server(Start::Refusing);
    auto transport = makeTransport(server);
    // Neither envelopes nor lost-event counts can be written, as on a disk that went read-only or full.
    vctest::ReadOnlyFolder envelopes(fileManager->envelopesPath());
    vctest::ReadOnlyFolder cache(fileManager->duviduPath());
    if (!envelopes.holds() || !cache.holds()) GTEST_SKIP() << "cannot make a folder read-only here";
    transport->recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::SampleRate);
    transport->sendEnvelope(errorEnvelope());  // no answer: lost
    ASSERT_TRUE(transport->flush(10));

    server.listen();
    EXPECT_NE(reportWithNextEnvelope(*transport, server)
                  .find(R"("discarded_events":[{"category":"error","quantity":1,"reason":"sample_rate"},)"
                        R"({"category":"error","quantity":1,"reason":"cache_overflow"}])"),
              std::string::npos);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(storedCount(), 0u);
}

TEST_F(DuviduHttpTransportTest, RetryAfterHoldsEverythingBackUntilTheClockPassesIt)
{
    auto stepping = std::make_shared<SteppingClock>();
    DuviduCurrentDate::setCurrentDateProvider(stepping);
    IngestServer server;
    server.answerWith(429, "Retry-After: 60\r\n");
    auto transport = makeTransport(server);
    transport->sendEnvelope(errorEnvelope());
    ASSERT_TRUE(transport->flush(10));
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(storedCount(), 0u);

    server.answerWith(200);
    stepping->advance(std::chrono::seconds(59));
    transport->sendEnvelope(errorEnvelope());
    ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(storedCount(), 0u);

    stepping->advance(std::chrono::seconds(2));
    const DuviduId later;
    transport->sendEnvelope(errorEnvelope(later));
    ASSERT_TRUE(transport->flush(10));
    ASSERT_EQ(server.requestCount(), 2u);
    auto envelope = sentEnvelope(server.requests()[1]);
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->header().eventId(), later);
    ASSERT_EQ(envelope->items().size(), 2u);
    EXPECT_EQ(envelope->items()[1].header()->type(), "client_report");
    EXPECT_EQ(itemText(envelope->items()[1]),
              R"({"discarded_events":[{"category":"error","quantity":1,"reason":"network_error"},)"
              R"({"category":"error","quantity":1,"reason":"ratelimit_backoff"}],)"
              R"("timestamp":"2023-11-14T22:14:21.000Z"})");

    // A wall clock set back an hour does not stretch the next hold beyond what was asked.
    server.answerWith(429, "Retry-After: 5\r\n");
    transport->sendEnvelope(errorEnvelope());
    ASSERT_TRUE(transport->flush(10));
    server.answerWith(200);
    stepping->setBack(std::chrono::hours(1));
    stepping->advance(std::chrono::seconds(6));
    transport->sendEnvelope(errorEnvelope());
    ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(server.requestCount(), 4u);
}

TEST_F(DuviduHttpTransportTest, ANewTransportSendsWhatAnEarlierProcessStoredOldestFirst)
{
    IngestServer server;
    options->setDsn(server.dsn());
    std::vector<std::string> ids;
    {
        auto earlier = makeFileManager();
        for (int i = 0; i < 3; ++i) {
            DuviduId id;
            ids.push_back(id.duviduIdString());
            earlier->storeEnvelope(errorEnvelope(id));
        }
    }
    auto transport = makeTransport(server);
    ASSERT_TRUE(server.waitForRequests(3));
    ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(sentIds(server), ids);
    EXPECT_EQ(storedCount(), 0u);
}

TEST_F(DuviduHttpTransportTest, OverTheCacheLimitTheOldestGoAndAreReportedLost)
{
    options->maxCacheItems = 30;
    IngestServer server(Start::Refusing);
    auto transport = makeTransport(server);
    std::vector<std::string> ids;
    for (int i = 0; i < 31; ++i) {
        DuviduId id;
        ids.push_back(id.duviduIdString());
        transport->sendEnvelope(errorEnvelope(id));
    }
    ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(storedCount(), 30u);

    server.listen();
    ASSERT_TRUE(transport->flush(20));
    EXPECT_EQ(sentIds(server), std::vector(ids.begin() + 1, ids.end()));
    EXPECT_NE(reportWithNextEnvelope(*transport, server)
                  .find(R"("discarded_events":[{"category":"error","quantity":1,"reason":"cache_overflow"}])"),
              std::string::npos);
    EXPECT_EQ(server.requestCount(), 31u);
}

TEST_F(DuviduHttpTransportTest, EveryLossIsReportedOnceByALaterRunEvenWhenReportsArePushedOutToo)
{
    options->maxCacheItems = 30;
    IngestServer server(Start::Refusing);
    {
        auto transport = makeTransport(server);
        sendFromEightThreads(*transport);
        // Larger than the cache takes: lost as a full disk would lose it.
        DuviduData huge(kDuviduEnvelopeFileLimit + 1, 'x');
        auto header = std::make_shared<DuviduEnvelopeItemHeader>("event", huge.size());
        transport->sendEnvelope(DuviduEnvelope(DuviduEnvelopeHeader(DuviduId(), nullptr), DuviduEnvelopeItem(header, huge)));
        ASSERT_TRUE(transport->flush(10));
        EXPECT_EQ(storedCount(), 30u);
    }  // the run ends before any count was sent

    // The next run sends what the cache holds, then an envelope of its own.
    server.listen();
    auto transport = makeTransport(server);
    ASSERT_TRUE(transport->flush(20));
    reportWithNextEnvelope(*transport, server);
    size_t events = 0;
    uint64_t reported = 0;
    for (const auto& request : server.requests()) {
        auto envelope = sentEnvelope(request);
        ASSERT_TRUE(envelope);
        for (const auto& item : envelope->items()) {
            if (item.header()->type() == "event") ++events;
            if (item.header()->type() != "client_report") continue;
            auto json = DuviduSerialization::JSONObjectWithData(item.data().data(), item.data().size());
            ASSERT_TRUE(json && json->isObject());
            for (const auto& lost : DuviduDiscardedEvent::listFromClientReport(*json->asObject())) {
                EXPECT_EQ(lost.reason(), DuviduDiscardReason::CacheOverflow);
                EXPECT_EQ(lost.category(), DuviduDataCategory::Error);
                reported += lost.quantity();
            }
        }
    }
    EXPECT_EQ(events, 31u);
    EXPECT_EQ(reported, 400u + 1u - 30u);
    EXPECT_FALSE(fs::exists(fileManager->duviduPath() + "/lost-events.json"));
}

TEST_F(DuviduHttpTransportTest, DamagedFilesAreDeletedAndDoNotBlockTheOnesBehindThem)
{
    IngestServer server(Start::Refusing);
    auto transport = makeTransport(server);
    transport->sendEnvelope(errorEnvelope());
    transport->sendEnvelope(errorEnvelope());
    const DuviduId sound;
    transport->sendEnvelope(errorEnvelope(sound));
    ASSERT_TRUE(transport->flush(10));
    auto paths = fileManager->envelopePaths();
    ASSERT_EQ(paths.size(), 3u);
    fs::resize_file(paths[0], fs::file_size(paths[0]) - 5);  // cut inside the payload
    std::ofstream(paths[1], std::ios::trunc) << "not an envelope";

    server.listen();
    ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(sentIds(server), std::vector{sound.duviduIdString()});
    EXPECT_EQ(storedCount(), 0u);
    for (int i : {0, 1}) {
        const std::string line = "[DuviduFileManager:";
        const std::string text = "] Deleting the unreadable envelope file " + paths[i];
        const auto lines = logOutput->lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& l) {
                                    return l.rfind("[Duvidu] [error] " + line, 0) == 0 && l.find(text) != std::string::npos;
                                }),
                  1);
    }
}

TEST_F(DuviduHttpTransportTest, FlushAndClosingAreBoundedAgainstAServerThatNeverAnswers)
{
    IngestServer server;
    server.answer(IngestServer::Answer::NeverAnswer);
    options->shutdownTimeInterval = 1.0;
    auto transport = makeTransport(server);
    transport->sendEnvelope(errorEnvelope());
    ASSERT_TRUE(server.waitForRequests(1));

    auto start = Clock::now();
    EXPECT_FALSE(transport->flush(0.5));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(700));

    // Closing: a last flush for the shutdown interval, then the transport goes.
    start = Clock::now();
    EXPECT_FALSE(transport->flush(options->shutdownTimeInterval));
    transport.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(storedCount(), 1u);  // kept for the next run
}

// A timeout that is not a number, or below zero, is no wait at all, wherever it comes from.
TEST_F(DuviduHttpTransportTest, NaNAndNegativeTimeoutsAreNoWait)
{
    IngestServer server;
    server.answer(IngestServer::Answer::NeverAnswer);
    options->shutdownTimeInterval = std::nan("");
    auto transport = makeTransport(server);
    transport->sendEnvelope(errorEnvelope());
    ASSERT_TRUE(server.waitForRequests(1));
    transport->recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::BeforeSend);  // for the closing write

    const auto start = Clock::now();
    EXPECT_FALSE(transport->flush(std::nan("")));
    EXPECT_FALSE(transport->flush(-1));
    transport->close(options->shutdownTimeInterval);
    transport.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(storedCount(), 1u);
}

TEST_F(DuviduHttpTransportTest, ManyThreadsStoringAtOnceDeliverEveryEnvelopeExactlyOnce)
{
    options->maxCacheItems = 1000;
    IngestServer server;
    auto transport = makeTransport(server);
    sendFromEightThreads(*transport);
    ASSERT_TRUE(transport->flush(60));

    const auto ids = sentIds(server);
    EXPECT_EQ(ids.size(), 400u);
    EXPECT_EQ(std::set(ids.begin(), ids.end()).size(), 400u);
    EXPECT_EQ(storedCount(), 0u);
}

TEST_F(DuviduHttpTransportTest, BackOffDoublesUpToFifteenMinutesAndAnAnswerResetsIt)
{
    IngestServer server;
    server.answer(IngestServer::Answer::HangUp);
    options->setDsn(server.dsn());
    fileManager = makeFileManager();
    auto queue = std::make_shared<RecordingQueue>();
    auto transport = DuviduHttpTransport::make(options, fileManager, std::make_shared<DuviduRequestManager>(), queue);
    transport->sendEnvelope(errorEnvelope());
    // Each failed attempt sets one timer; a flush may share its attempt with the one the envelope started.
    for (int i = 0; i < 10 && queue->delays().size() < 7; ++i) ASSERT_TRUE(transport->flush(10));
    EXPECT_EQ(queue->delays(), (std::vector<double>{30, 60, 120, 240, 480, 900, 900}));
    EXPECT_EQ(storedCount(), 1u);

    server.answerWith(200);
    ASSERT_TRUE(transport->flush(10));
    server.answer(IngestServer::Answer::HangUp);
    const size_t before = queue->delays().size();
    transport->sendEnvelope(errorEnvelope());
    ASSERT_TRUE(transport->flush(10));
    ASSERT_GT(queue->delays().size(), before);
    EXPECT_EQ(queue->delays()[before], 30);
}

TEST_F(DuviduHttpTransportTest, LostEventsRideWithTheNextStoredEnvelopeOnceWhenClientReportsAreOn)
{
    IngestServer server;
    DuviduTransportAdapter adapter(makeTransport(server), options);
    adapter.recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::SampleRate);
    adapter.recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::SampleRate);
    adapter.recordLostEvent(DuviduDataCategory::Transaction, DuviduDiscardReason::BeforeSend);
    DuviduEvent first(DuviduLevel::Error);
    adapter.sendEvent(first, nullptr, {});
    DuviduEvent second(DuviduLevel::Error);
    adapter.sendEvent(second, nullptr, {});
    ASSERT_TRUE(adapter.flush(10));

    ASSERT_EQ(server.requestCount(), 2u);
    auto withReport = sentEnvelope(server.requests()[0]);
    ASSERT_TRUE(withReport);
    ASSERT_EQ(withReport->items().size(), 2u);
    EXPECT_EQ(withReport->items()[0].header()->type(), "event");
    EXPECT_EQ(withReport->items()[1].header()->type(), "client_report");
    EXPECT_EQ(itemText(withReport->items()[1]),
              R"({"discarded_events":[{"category":"transaction","quantity":1,"reason":"before_send"},)"
              R"({"category":"error","quantity":2,"reason":"sample_rate"}],)"
              R"("timestamp":"2023-11-14T22:13:20.000Z"})");
    auto without = sentEnvelope(server.requests()[1]);
    ASSERT_TRUE(without);
    EXPECT_EQ(without->items().size(), 1u);
}

TEST_F(DuviduHttpTransportTest, WithoutClientReportsNothingIsCounted)
{
    options->sendClientReports = false;
    IngestServer server;
    DuviduTransportAdapter adapter(makeTransport(server), options);
    adapter.recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::SampleRate);
    DuviduEvent event(DuviduLevel::Error);
    adapter.sendEvent(event, nullptr, {});
    ASSERT_TRUE(adapter.flush(10));
    ASSERT_EQ(server.requestCount(), 1u);
    auto envelope = sentEnvelope(server.requests()[0]);
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->items().size(), 1u);
}

}  // namespace
