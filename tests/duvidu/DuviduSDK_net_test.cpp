// The SDK as the application runs it, against a loopback stand-in for the reporting service: sessions and events
// arrive, a killed run's session is closed at the next start, and starting and closing over and over while other
// threads capture leaves no thread behind.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduSDK.h"
#include "Duvidu/DuviduSerialization.h"
#include "DuviduLoopbackTest.h"
#include "DuviduRecordingTransport.h"
#include "DuviduTestSupport.h"
#include "IngestServer.h"
#include "support/ChildProcess.h"
#include "support/LockHoldingProcess.h"
#include "support/ReadOnlyFolder.h"
#include "support/TempHome.h"

using namespace duvidu;
using namespace std::chrono_literals;
using duvidutest::IngestServer;
using duvidutest::RecordingTransport;
namespace fs = std::filesystem;

namespace {

// The cache of a DSN with the events that an earlier run left there, and their ids.
struct EarlierEvents {
    std::shared_ptr<DuviduFileManager> files;
    std::vector<std::string> ids;
};

// The cache of the server's DSN, as the SDK makes it.
std::shared_ptr<DuviduFileManager> cacheOf(const IngestServer& server)
{
    DuviduOptions options;
    options.setDsn(server.dsn());
    return DuviduFileManager::initWithOptions(options, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                              std::make_shared<DuviduDispatchQueueWrapper>());
}

EarlierEvents storeEarlierEvents(const IngestServer& server, int count)
{
    EarlierEvents earlier;
    earlier.files = cacheOf(server);
    for (int i = 0; i < count; ++i) {
        const DuviduId id;
        earlier.ids.push_back(id.duviduIdString());
        auto payload = dataFromString(R"({"event_id":")" + id.duviduIdString() + R"(","level":"error"})");
        auto header = std::make_shared<DuviduEnvelopeItemHeader>("event", payload.size());
        earlier.files->storeEnvelope(
            DuviduEnvelope(DuviduEnvelopeHeader(id, nullptr), DuviduEnvelopeItem(header, payload)));
    }
    return earlier;
}

// The items of a request's envelope by type: the JSON of the first of each.
struct Sent {
    std::optional<Value::Object> event;
    std::optional<Value::Object> session;
};

Sent sent(const vctest::HttpRequest& request)
{
    auto envelope = DuviduSerialization::envelopeWithData(IngestServer::inflate(request.body));
    if (!envelope) return {};
    return {RecordingTransport::itemJSON(*envelope, "event"), RecordingTransport::itemJSON(*envelope, "session")};
}

std::string field(const std::optional<Value::Object>& json, const char* key)
{
    if (!json) return "<no item>";
    auto it = json->find(key);
    if (it == json->end()) return "<none>";
    if (it->second.isString()) return *it->second.asString();
    double number = 0;
    it->second.numberAsDouble(number);
    return std::to_string(static_cast<int64_t>(number));
}

size_t threadCount()
{
    size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.') ++count;
        closedir(tasks);
    }
    return count;
}

// The ids of the events that the requests carried, with how often each came.
std::map<std::string, int> eventsSent(IngestServer& server)
{
    std::map<std::string, int> times;
    for (const auto& request : server.requests()) {
        if (auto event = sent(request).event) ++times[field(event, "event_id")];
    }
    return times;
}

// What the server heard of a set of captured events: each event id with how often it came, and the events counted
// lost in client reports.
struct Accounting {
    std::map<std::string, int> delivered;
    uint64_t counted = 0;
};

Accounting accounting(IngestServer& server)
{
    Accounting result;
    result.delivered = eventsSent(server);
    for (const auto& request : server.requests()) {
        auto envelope = DuviduSerialization::envelopeWithData(IngestServer::inflate(request.body));
        if (!envelope) continue;
        auto report = RecordingTransport::itemJSON(*envelope, "client_report");
        if (!report) continue;
        for (const auto& lost : DuviduDiscardedEvent::listFromClientReport(*report)) {
            if (lost.category() == DuviduDataCategory::Error) result.counted += lost.quantity();
        }
    }
    return result;
}

class DuviduSDKNetTest : public duvidutest::DuviduLoopbackTest {
protected:
    // The application's start, every trace sampled.
    void start()
    {
        DuviduLoopbackTest::start([](DuviduOptions& options) { options.setTracesSampleRate(1.0); });
    }
    void post(const std::string& name) { center.postNotificationName(name); }

    // Runs the program of the test's own (duvidu_message_run) with the arguments after the DSN; the ids it printed
    // (none when it printed nothing).
    static std::vector<std::string> messageRun(IngestServer& target, std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), target.dsn());
        auto run = vctest::runChild(DUVIDU_MESSAGE_RUN, arguments, {}, 120);
        EXPECT_FALSE(run.timedOut);
        std::vector<std::string> ids;
        std::istringstream lines(run.output);
        for (std::string line; std::getline(lines, line);) ids.push_back(line);
        return ids;
    }
    static std::string firstId(const std::vector<std::string>& ids) { return ids.empty() ? "" : ids.front(); }

    // 64 runs of a program that reports a message, at once on a cache that an earlier run filled, against a server
    // that listens already or only once they ended; then duvidu-cli's flush and one more run. Every event is either
    // delivered once or counted lost once. The runs close within 30 s rather than 2: how long a closing write waits
    // for the other runs' counts depends on the machine's load (sanitizers, other tests), and a slower one must not
    // lose counts that a faster one reports.
    void expectEveryEventDeliveredOrCountedOnce(IngestServer& target)
    {
        auto captured = storeEarlierEvents(target, 30).ids;
        captured.resize(captured.size() + 64);
        std::vector<std::thread> runs;
        for (size_t i = 30; i < captured.size(); ++i)
            runs.emplace_back(
                [&, i] { captured[i] = firstId(messageRun(target, {"30", "run " + std::to_string(i)})); });
        for (auto& run : runs) run.join();
        target.listen();
        expectDeliveredOrCountedOnce(target, captured);
    }

    // duvidu-cli's flush sends what the runs left in the cache, and one more run takes the lost-event counts left in
    // the folder along; then each captured event has been delivered once or counted lost once.
    void expectDeliveredOrCountedOnce(IngestServer& target, std::vector<std::string> captured)
    {
        vctest::runChild(VC_DUVIDU_CLI, {"--dsn", target.dsn(), "flush"}, {}, 60);
        captured.push_back(firstId(messageRun(target, {"30", "last"})));

        const auto heard = accounting(target);
        size_t delivered = 0, twice = 0;
        for (const auto& id : captured) {
            ASSERT_EQ(id.size(), 32u);
            auto it = heard.delivered.find(id);
            if (it == heard.delivered.end()) continue;
            ++delivered;
            if (it->second > 1) ++twice;
        }
        EXPECT_EQ(heard.delivered.size(), delivered) << "events that no run captured arrived";
        EXPECT_EQ(twice, 0u) << "events delivered more than once";
        EXPECT_EQ(delivered + heard.counted, captured.size())
            << delivered << " delivered, " << heard.counted << " counted lost, of " << captured.size() << " captured";
        RecordProperty("delivered", static_cast<int>(delivered));
        RecordProperty("counted", static_cast<int>(heard.counted));
        RecordProperty("twice", static_cast<int>(twice));
    }

    DuviduNSNotificationCenterWrapper center;
};

TEST_F(DuviduSDKNetTest, SessionsAndEventsOfOneRunArriveAndAKilledRunsSessionIsClosedAbnormal)
{
    start();
    post(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    ASSERT_TRUE(server.waitForRequests(1));
    auto started = sent(server.requests()[0]);
    EXPECT_EQ(field(started.session, "status"), "ok");
    EXPECT_EQ(field(started.session, "init"), "1");
    ASSERT_TRUE(started.session && started.session->count("attrs"));
    EXPECT_EQ(field(*started.session->at("attrs").asObject(), "release"), "vellumcaster@1.0+7");
    const auto sid = field(started.session, "sid");

    auto id = DuviduSDK::captureError(NSError("com.brindlefox.vellumcaster", 3));
    ASSERT_FALSE(id.isEmpty());
    ASSERT_TRUE(server.waitForRequests(2));
    auto error = sent(server.requests()[1]);
    EXPECT_EQ(field(error.event, "event_id"), id.duviduIdString());
    EXPECT_EQ(field(error.event, "release"), "vellumcaster@1.0+7");
    EXPECT_EQ(field(error.session, "sid"), sid);
    EXPECT_EQ(field(error.session, "errors"), "1");

    post(DuviduNSNotificationCenterWrapper::willTerminateNotificationName());
    ASSERT_TRUE(server.waitForRequests(3));
    auto ended = sent(server.requests()[2]);
    EXPECT_EQ(field(ended.session, "sid"), sid);
    EXPECT_EQ(field(ended.session, "status"), "exited");
    EXPECT_EQ(field(ended.session, "errors"), "1");
    DuviduSDK::close();

    // A run that dies without will-terminate leaves its session stored; the next start closes it as abnormal.
    start();
    post(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    ASSERT_TRUE(server.waitForRequests(4));
    const auto killed = field(sent(server.requests()[3]).session, "sid");
    DuviduSDK::close();

    start();
    ASSERT_TRUE(server.waitForRequests(5));
    auto closed = sent(server.requests()[4]);
    EXPECT_EQ(field(closed.session, "sid"), killed);
    EXPECT_EQ(field(closed.session, "status"), "abnormal");
    EXPECT_EQ(field(closed.session, "duration"), "0");
    EXPECT_EQ(server.requestCount(), 5u);
}

TEST_F(DuviduSDKNetTest, StartingAndClosingWhileOtherThreadsCaptureLeavesNoThreadBehind)
{
    auto options = std::make_shared<DuviduOptions>();
    options->setDsn(server.dsn());
    options->releaseName = "vellumcaster@1.0+7";
    options->shutdownTimeInterval = 0.2;
    auto cycle = [&] {
        DuviduSDK::startWithOptions(options);
        post(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
        DuviduSDK::close();
    };
    // Process-wide helpers (the SDK's own main queue, the signal sampler) are made by the first run.
    cycle();
    auto settled = [](size_t limit) {
        for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;) {
            if (threadCount() <= limit) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    };
    std::this_thread::sleep_for(200ms);
    const size_t before = threadCount();

    std::atomic<bool> stop{false};
    std::atomic<int> sentEvents{0};
    std::vector<std::thread> capturing;
    for (int t = 0; t < 4; ++t) {
        capturing.emplace_back([&, t] {
            NSError error("com.example.stress", t);
            while (!stop) {
                if (!DuviduSDK::captureError(error).isEmpty()) ++sentEvents;
                std::this_thread::sleep_for(1ms);
            }
        });
    }
    for (int i = 0; i < 100; ++i) cycle();
    stop = true;
    for (auto& thread : capturing) thread.join();

    EXPECT_GT(sentEvents.load(), 0);
    EXPECT_FALSE(DuviduSDK::isEnabled());
    EXPECT_TRUE(settled(before)) << threadCount() << " threads, " << before << " before";
}

TEST_F(DuviduSDKNetTest, ProcessesFlushingOneCacheAtOnceSendEachEnvelopeOnce)
{
    auto cache = storeEarlierEvents(server, 30);
    std::map<std::string, int> sentTimes;
    for (const auto& id : cache.ids) sentTimes[id] = 0;

    std::vector<std::thread> flushes;
    for (int p = 0; p < 4; ++p)
        flushes.emplace_back([&] { vctest::runChild(VC_DUVIDU_CLI, {"--dsn", server.dsn(), "flush"}); });
    for (auto& flush : flushes) flush.join();

    for (const auto& request : server.requests()) {
        if (auto event = sent(request).event) ++sentTimes[field(event, "event_id")];
    }
    for (const auto& [id, times] : sentTimes) EXPECT_EQ(times, 1) << id;
    EXPECT_EQ(sentTimes.size(), 30u);
    EXPECT_TRUE(cache.files->envelopePaths().empty());
}

TEST_F(DuviduSDKNetTest, PipesDevicesAndHugeFilesInTheSDKsFoldersNeitherHangNorKillARun)
{
    DuviduOptions options;
    options.setDsn(server.dsn());
    const fs::path folder = DuviduFileManager::initWithOptions(options, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                                               std::make_shared<DuviduDispatchQueueWrapper>())
                                ->duviduPath();
    const fs::path crashData = home.cache() / "duvidu/DuviduCrash/duvidu-cli/Data";
    const fs::path crashReports = home.cache() / "duvidu/DuviduCrash/duvidu-cli/Reports";
    fs::create_directories(crashData);
    fs::create_directories(crashReports);
    const std::vector<fs::path> pipes = {folder / "session.current", folder / "lastInForeground.timestamp",
                                         folder / "app.state", folder / "lost-events.json",
                                         crashData / "CrashState.json",
                                         crashReports / "duvidu-cli-report-0123456789abcdef0123456789abcdef.json"};
    for (const auto& pipe : pipes) ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0) << pipe;
    const fs::path installation = home.cache() / "duvidu/INSTALLATION";
    fs::create_symlink("/dev/zero", installation);
    const fs::path huge = folder / "envelopes" / ("00000000000000000001-0000000000-" + DuviduId().duviduIdString() + ".envelope");
    std::ofstream(huge).close();
    fs::resize_file(huge, 3ull << 30);  // sparse: takes no room on the disk

    auto run = vctest::runChild(VC_DUVIDU_CLI, {"--dsn", server.dsn(), "--release", "r@1", "message", "hello"}, {}, 60);
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << "status " << run.status;
    bool arrived = false;
    for (const auto& request : server.requests()) {
        if (auto event = sent(request).event)
            arrived = arrived || field(event, "event_id") == run.output.substr(0, 32);
    }
    EXPECT_TRUE(arrived);
    for (const auto& pipe : pipes) EXPECT_FALSE(fs::is_fifo(pipe)) << pipe;
    EXPECT_FALSE(fs::exists(huge));
    EXPECT_FALSE(fs::is_symlink(installation));
    EXPECT_EQ(fs::file_size(installation), 36u);
}

TEST_F(DuviduSDKNetTest, WithAReadOnlyEnvelopesFolderEachProcessSendsEachEnvelopeOnceAndNewOnesFromMemory)
{
    IngestServer down(vctest::LoopbackHttpServer::Start::Refusing);
    auto cli = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--dsn", down.dsn(), "--release", "r@1"});
        auto run = vctest::runChild(VC_DUVIDU_CLI, arguments, {}, 60);
        EXPECT_FALSE(run.timedOut);
        return run.output.substr(0, 32);
    };
    const auto one = cli({"message", "one"});
    DuviduOptions options;
    options.setDsn(down.dsn());
    auto cache = DuviduFileManager::initWithOptions(options, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                                    std::make_shared<DuviduDispatchQueueWrapper>());
    const size_t stored = cache->envelopePaths().size();  // the session's start, the event, the session's end
    ASSERT_EQ(stored, 3u);

    vctest::ReadOnlyFolder readOnly(cache->envelopesPath());
    if (!readOnly.holds()) GTEST_SKIP() << "cannot make a folder read-only here";
    down.listen();
    cli({"flush"});
    EXPECT_EQ(down.requestCount(), stored);
    EXPECT_EQ(eventsSent(down), (std::map<std::string, int>{{one, 1}}));

    // The folder takes no new envelope: this run's go out from memory, and the stored ones once more.
    const auto two = cli({"message", "two"});
    EXPECT_EQ(eventsSent(down), (std::map<std::string, int>{{one, 2}, {two, 1}}));
    EXPECT_EQ(down.requestCount(), 2 * stored + 3);
    EXPECT_EQ(cache->envelopePaths().size(), stored);
}

TEST_F(DuviduSDKNetTest, CapturingDoesNotWaitForAProcessHoldingTheCacheAndItsLostCountsStillArrive)
{
    // Another process holds the cache folder's lock all along.
    vctest::LockHoldingProcess holder(cacheOf(server)->duviduPath());
    std::atomic<int> seen{0};
    DuviduSDK::startWithConfigureOptions([&](DuviduOptions& o) {
        o.setDsn(server.dsn());
        o.debug = false;
        o.beforeSend = [&](std::shared_ptr<DuviduEvent> event) { return ++seen == 1 ? nullptr : event; };
    });
    EXPECT_TRUE(DuviduSDK::captureMessage("dropped").isEmpty());
    const auto kept = DuviduSDK::captureMessage("kept");
    ASSERT_FALSE(kept.isEmpty());
    ASSERT_TRUE(server.waitForRequests(1));
    DuviduSDK::close();

    ASSERT_EQ(server.requestCount(), 1u);
    auto envelope = DuviduSerialization::envelopeWithData(IngestServer::inflate(server.requests()[0].body));
    ASSERT_TRUE(envelope);
    EXPECT_EQ(field(RecordingTransport::itemJSON(*envelope, "event"), "event_id"), kept.duviduIdString());
    auto report = RecordingTransport::itemJSON(*envelope, "client_report");
    ASSERT_TRUE(report);
    const auto counts = DuviduDiscardedEvent::listFromClientReport(*report);
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].reason(), DuviduDiscardReason::BeforeSend);
    EXPECT_EQ(counts[0].quantity(), 1u);
}

TEST_F(DuviduSDKNetTest, SixtyFourRunsOnOneCacheWithTheServerDownDeliverOrCountEachEventOnce)
{
    IngestServer down(vctest::LoopbackHttpServer::Start::Refusing);
    expectEveryEventDeliveredOrCountedOnce(down);
}

TEST_F(DuviduSDKNetTest, SixtyFourRunsOnOneCacheWithTheServerUpDeliverOrCountEachEventOnce)
{
    expectEveryEventDeliveredOrCountedOnce(server);
}

// The flush and the closing write of the lost-event counts share the shutdown time: with nothing answered and the
// counts' folder held by another process, close still ends within it.
TEST_F(DuviduSDKNetTest, CloseEndsWithinTheShutdownTimeWhenTheServerNeverAnswersAndTheCacheIsHeldElsewhere)
{
    server.answer(IngestServer::Answer::NeverAnswer);
    vctest::LockHoldingProcess holder(cacheOf(server)->duviduPath());
    std::atomic<int> seen{0};
    DuviduLoopbackTest::start([&](DuviduOptions& options) {
        options.beforeSend = [&](std::shared_ptr<DuviduEvent> event) { return ++seen == 2 ? nullptr : event; };
    });
    ASSERT_FALSE(DuviduSDK::captureMessage("kept").isEmpty());
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_TRUE(DuviduSDK::captureMessage("dropped").isEmpty());  // its count waits in memory for the folder

    const auto start = std::chrono::steady_clock::now();
    DuviduSDK::close();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    RecordProperty("closeSeconds", std::to_string(took.count()));
    EXPECT_LT(took.count(), DuviduOptions().shutdownTimeInterval + 0.75);
}

// Runs at once against a server that never answers, each with a file claimed when close cuts its send off: the one
// that lets a claim go applies the cache limit, so that once they have all ended the cache is within it again.
TEST_F(DuviduSDKNetTest, RunsCutOffAtCloseLeaveTheCacheWithinItsLimit)
{
    server.answer(IngestServer::Answer::NeverAnswer);
    std::vector<std::thread> runs;
    for (int i = 0; i < 32; ++i) runs.emplace_back([&] { messageRun(server, {"2", "cut off"}); });
    for (auto& run : runs) run.join();
    const size_t left = cacheOf(server)->envelopePaths().size();
    RecordProperty("left", static_cast<int>(left));
    EXPECT_LE(left, DuviduOptions().maxCacheItems);
}

// Runs of many messages at once with a cache limit so small that each store deletes files that other runs are about
// to send: a file goes either to its sender or to the limit (and is counted), never to both. Two bursts, because the
// moment at which a deletion and a send could meet is short.
TEST_F(DuviduSDKNetTest, RunsWhoseCacheLimitDeletesWhatOthersSendDeliverOrCountEachEventOnce)
{
    constexpr size_t kRuns = 32, kMessages = 20;
    std::vector<std::string> captured;
    for (int burst = 0; burst < 2; ++burst) {
        std::vector<std::vector<std::string>> ids(kRuns);
        std::vector<std::thread> runs;
        for (size_t i = 0; i < kRuns; ++i)
            runs.emplace_back([&, i] { ids[i] = messageRun(server, {"30", "run", std::to_string(kMessages), "2"}); });
        for (auto& run : runs) run.join();
        for (const auto& run : ids) captured.insert(captured.end(), run.begin(), run.end());
    }
    ASSERT_EQ(captured.size(), 2 * kRuns * kMessages);
    expectDeliveredOrCountedOnce(server, captured);
}

}  // namespace
