// Crash capture end to end: a helper program starts the SDK against a loopback stand-in for the reporting service and
// crashes; the next start of the helper sends the crash, the start after it sends nothing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <thread>

#include "Duvidu/DuviduSerialization.h"
#include "duvidu/DuviduJSONTestSupport.h"
#include "duvidu/IngestServer.h"
#include "support/ChildProcess.h"
#include "support/HostProgram.h"
#include "support/LockHoldingProcess.h"
#include "support/TempHome.h"

namespace fs = std::filesystem;
using duvidu::Value;
using duvidutest::IngestServer;
using duvidutest::at;

namespace {

// One envelope as the server received it: its items' types and JSON, in order.
struct ReceivedEnvelope {
    std::vector<std::pair<std::string, Value::Object>> items;

    std::optional<Value::Object> item(const std::string& type) const
    {
        for (const auto& [itemType, json] : items) {
            if (itemType == type) return json;
        }
        return std::nullopt;
    }
};

std::string text(const Value* value)
{
    return value && value->isString() ? *value->asString() : "";
}

std::vector<Value> elements(const Value* value)
{
    return value && value->isArray() ? *value->asArray() : std::vector<Value>{};
}

// The helper's build id as the debug images write it: the first 16 bytes in the 8-4-4-4-12 form, upper case.
std::string helperDebugId()
{
    std::string buildId;
    std::unique_ptr<FILE, int (*)(FILE*)> readelf(popen((vctest::hostProgram("readelf") + " -n " VC_CRASH_HELPER).c_str(), "r"), pclose);
    char line[512];
    while (readelf && std::fgets(line, sizeof line, readelf.get())) {
        std::string text = line;
        auto at = text.find("Build ID: ");
        if (at != std::string::npos) buildId = text.substr(at + 10, 32);
    }
    std::transform(buildId.begin(), buildId.end(), buildId.begin(), ::toupper);
    for (size_t dash : {8, 13, 18, 23}) {
        if (buildId.size() >= dash) buildId.insert(dash, "-");
    }
    return buildId;
}

// A run of a program that holds at a FIFO, its last argument, until it is let go; its opening the FIFO for reading
// tells that it got there.
class HeldRun {
public:
    using Run = std::function<vctest::ChildResult(const std::vector<std::string>&)>;

    HeldRun(const Run& run, std::vector<std::string> arguments, const fs::path& fifo)
    {
        if (mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + fifo.string());
        arguments.push_back(fifo.string());
        thread_ = std::thread([this, run, arguments] { result_ = run(arguments); });
        // A writer's open succeeds only while a reader has the FIFO open.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (release_ < 0 && std::chrono::steady_clock::now() < deadline) {
            release_ = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (release_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    HeldRun(const HeldRun&) = delete;
    HeldRun& operator=(const HeldRun&) = delete;
    ~HeldRun() { letGo(); }

    bool held() const { return release_ >= 0; }
    // The end of the FIFO's input lets the run go on; returns how it ended.
    const vctest::ChildResult& letGo()
    {
        if (release_ >= 0) close(release_);
        release_ = -1;
        if (thread_.joinable()) thread_.join();
        return result_;
    }

private:
    int release_ = -1;
    vctest::ChildResult result_;
    std::thread thread_;
};

struct Fault {
    std::string name;
    int signal;
    std::string function;
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

class DuviduCrashCapture : public testing::Test {
protected:
    explicit DuviduCrashCapture(vctest::LoopbackHttpServer::Start start = vctest::LoopbackHttpServer::Start::Listening)
        : server(start)
    {
    }

    vctest::ChildResult helper(const std::vector<std::string>& arguments) { return run(VC_CRASH_HELPER, arguments); }
    HeldRun::Run runHelper()
    {
        return [this](const std::vector<std::string>& arguments) { return helper(arguments); };
    }
    vctest::ChildResult cli(const std::vector<std::string>& arguments) { return run(VC_DUVIDU_CLI, arguments); }
    vctest::ChildResult run(const std::string& program, const std::vector<std::string>& arguments)
    {
        // A sanitizer's own handlers would end the process with an exit code instead of the signal.
        const std::string noSanitizerHandlers =
            "handle_segv=0:handle_abort=0:handle_sigill=0:handle_sigbus=0:handle_sigfpe=0:handle_sigtrap=0";
        return vctest::runChild(program, arguments,
                                {{"DUVIDU_DSN", server.dsn()},
                                 {"ASAN_OPTIONS", noSanitizerHandlers},
                                 {"TSAN_OPTIONS", noSanitizerHandlers}});
    }

    // Each fatal event sent since the request with that index, with the session of its envelope.
    std::vector<std::pair<Value, Value>> fatalEventsFrom(size_t first)
    {
        std::vector<std::pair<Value, Value>> fatal;
        for (const auto& envelope : envelopesFrom(first)) {
            auto event = envelope.item("event");
            if (!event) continue;
            const Value json(*event);
            if (text(at(&json, "level")) == "fatal")
                fatal.emplace_back(json, envelope.item("session") ? Value(*envelope.item("session")) : Value());
        }
        return fatal;
    }

    fs::path reportsFolder() const { return home.cache() / "duvidu/DuviduCrash/duviducrash_helper/Reports"; }
    fs::path stateFolder() const { return home.cache() / "duvidu/DuviduCrash/duviducrash_helper/Data"; }

    size_t count(const fs::path& folder) const
    {
        std::error_code error;
        size_t found = 0;
        for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); ++it) ++found;
        return found;
    }

    bool existsInCache(const std::string& name) const
    {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(home.cache(), error)) {
            if (entry.path().filename() == name) return true;
        }
        return false;
    }

    std::vector<ReceivedEnvelope> envelopesFrom(size_t first)
    {
        std::vector<ReceivedEnvelope> envelopes;
        auto requests = server.requests();
        for (size_t i = first; i < requests.size(); ++i) {
            auto envelope = duvidu::DuviduSerialization::envelopeWithData(IngestServer::inflate(requests[i].body));
            if (!envelope) continue;
            ReceivedEnvelope received;
            for (const auto& item : envelope->items()) {
                auto json = duvidu::DuviduSerialization::JSONObjectWithData(item.data().data(), item.data().size());
                received.items.emplace_back(item.header()->type(),
                                            json && json->isObject() ? *json->asObject() : Value::Object{});
            }
            envelopes.push_back(std::move(received));
        }
        return envelopes;
    }

    // Runs duvidu-cli with the arguments in that many processes at once.
    std::vector<vctest::ChildResult> cliAtOnce(int processes, const std::vector<std::string>& arguments)
    {
        std::vector<std::thread> runs;
        std::vector<vctest::ChildResult> results(processes);
        for (int i = 0; i < processes; ++i) runs.emplace_back([&, i] { results[i] = cli(arguments); });
        for (auto& run : runs) run.join();
        return results;
    }

    // The id of the session stored as running in the cache; empty when there is none.
    std::string currentSessionId() const
    {
        std::string id;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(home.cache(), error)) {
            if (entry.path().filename() != "session.current") continue;
            std::ifstream file(entry.path());
            const std::string json((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            auto session = duvidu::DuviduSerialization::JSONObjectWithData(
                reinterpret_cast<const uint8_t*>(json.data()), json.size());
            id = session ? text(at(&*session, "sid")) : "";
        }
        return id;
    }

    // For each session sent ended since the request with that index, by id: how it was sent ended, in order.
    std::map<std::string, std::vector<std::string>> sessionEndingsFrom(size_t first)
    {
        std::map<std::string, std::vector<std::string>> endings;
        for (const auto& envelope : envelopesFrom(first)) {
            for (const auto& [type, json] : envelope.items) {
                const Value item(json);
                if (type == "session" && text(at(&item, "status")) != "ok")
                    endings[text(at(&item, "sid"))].push_back(text(at(&item, "status")));
            }
        }
        return endings;
    }

    // Runs the helper's start and returns what it printed.
    std::string startHelper()
    {
        auto result = helper({"start"});
        EXPECT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0) << result.output;
        return result.output;
    }

    // The next start of the helper sends one crash, with the session of that id ended as crashed, and ends that session
    // no other way.
    void expectNextStartSendsTheCrashWithSession(const std::string& sessionId)
    {
        const size_t before = server.requestCount();
        EXPECT_EQ(startHelper(), "crashedLastRun YES\n");
        const auto fatal = fatalEventsFrom(before);
        ASSERT_EQ(fatal.size(), 1u);
        EXPECT_EQ(text(at(&fatal[0].second, "sid")), sessionId);
        EXPECT_EQ(text(at(&fatal[0].second, "status")), "crashed");
        EXPECT_EQ(sessionEndingsFrom(before)[sessionId], std::vector<std::string>{"crashed"});
    }

    vctest::TempHome home;
    IngestServer server;
};

class DuviduCrashCaptureFault : public DuviduCrashCapture, public testing::WithParamInterface<Fault> {};

TEST_P(DuviduCrashCaptureFault, TheNextStartSendsTheCrashOnceWithItsSession)
{
    const Fault& fault = GetParam();
    auto crashed = helper({fault.name});
    ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
    EXPECT_EQ(WTERMSIG(crashed.status), fault.signal);
    EXPECT_EQ(count(reportsFolder()), 1u);

    const size_t before = server.requestCount();
    EXPECT_EQ(startHelper(), "crashedLastRun YES\n");
    const auto fatal = fatalEventsFrom(before);
    ASSERT_EQ(fatal.size(), 1u);
    const Value& event = fatal[0].first;
    EXPECT_EQ(text(at(&fatal[0].second, "status")), "crashed");

    const auto exceptions = elements(at(at(&event, "exception"), "values"));
    ASSERT_EQ(exceptions.size(), 1u);
    const Value& exception = exceptions[0];
    const Value* mechanism = at(&exception, "mechanism");
    if (fault.name.rfind("terminate", 0) == 0) {
        EXPECT_EQ(text(at(mechanism, "type")), "cpp_exception");
        EXPECT_EQ(text(at(&exception, "type")), "std::runtime_error");
        EXPECT_EQ(text(at(&exception, "value")), "duvidu-cli gave up");
    } else {
        EXPECT_EQ(text(at(mechanism, "type")), "signal");
        EXPECT_EQ(text(at(&exception, "type")), text(at(at(at(mechanism, "meta"), "signal"), "name")));
        double number = 0;
        const Value* signalNumber = at(at(at(mechanism, "meta"), "signal"), "number");
        ASSERT_TRUE(signalNumber && signalNumber->numberAsDouble(number));
        EXPECT_EQ(static_cast<int>(number), fault.signal);
    }

    std::vector<std::string> crashedFunctions;
    for (const auto& thread : elements(at(at(&event, "threads"), "values"))) {
        const Value* crashedFlag = at(&thread, "crashed");
        if (!crashedFlag || !crashedFlag->asBool() || !*crashedFlag->asBool()) continue;
        for (const auto& frame : elements(at(at(&thread, "stacktrace"), "frames")))
            crashedFunctions.push_back(text(at(&frame, "function")));
    }
    EXPECT_NE(std::find(crashedFunctions.begin(), crashedFunctions.end(), fault.function), crashedFunctions.end())
        << "crashed thread's functions: " << testing::PrintToString(crashedFunctions);

    bool helperImage = false;
    for (const auto& image : elements(at(at(&event, "debug_meta"), "images"))) {
        if (text(at(&image, "code_file")) == VC_CRASH_HELPER) {
            helperImage = true;
            EXPECT_EQ(text(at(&image, "debug_id")), helperDebugId());
        }
    }
    EXPECT_TRUE(helperImage);
    EXPECT_EQ(text(at(at(&event, "tags"), "fault")), fault.name);
    bool breadcrumb = false;
    for (const auto& crumb : elements(at(&event, "breadcrumbs"))) {
        if (text(at(&crumb, "message")) != "about to crash") continue;
        breadcrumb = true;
        const auto level = elements(at(at(&crumb, "data"), "level"));
        EXPECT_EQ(level, (std::vector<Value>{nullptr, 0.5}));
    }
    EXPECT_TRUE(breadcrumb);
    // The numbers JSON cannot hold arrive as null, as they do in the events of a running process.
    for (const Value* value : {at(at(&event, "extra"), "n"), at(at(at(&event, "contexts"), "measure"), "ratio"),
                               at(at(at(&event, "user"), "data"), "score")})
        EXPECT_TRUE(value && value->isNull()) << (value ? value->description() : "missing");
    EXPECT_EQ(text(at(at(&event, "user"), "id")), "u1");
    EXPECT_EQ(text(at(&event, "release")), "org.example.duviducrash-helper@1.0+7");

    EXPECT_EQ(count(reportsFolder()), 0u);
    EXPECT_FALSE(existsInCache("session.crashed"));
    const size_t afterSecondStart = server.requestCount();
    EXPECT_EQ(startHelper(), "crashedLastRun NO\n");
    EXPECT_EQ(server.requestCount(), afterSecondStart);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DuviduCrashCaptureFault,
    testing::Values(Fault{"segv", SIGSEGV, "duviduCliFaultSegv"}, Fault{"abort", SIGABRT, "duviduCliFaultAbort"},
                    Fault{"terminate", SIGABRT, "duviduCliFaultThrow"},
                    Fault{"terminate-thread", SIGABRT, "duviduCliFaultThrow"},
                    Fault{"trap", SIGTRAP, "duviduCliFaultTrap"},
                    Fault{"overflow", SIGSEGV, "duviduCliFaultOverflow"}),
    [](const testing::TestParamInfo<Fault>& info) {
        std::string name = info.param.name;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

TEST_F(DuviduCrashCapture, TheCrashOfOneReleaseIsReportedUnderItAndItsDistWhenAnotherReleaseSendsIt)
{
    auto crashed = cli({"--release", "a@1", "--dist", "7", "--environment", "staging", "crash", "segv"});
    ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
    const size_t before = server.requestCount();
    auto flushed = cli({"--release", "b@2", "--dist", "8", "--environment", "production", "flush"});
    EXPECT_TRUE(WIFEXITED(flushed.status) && WEXITSTATUS(flushed.status) == 0) << flushed.output;

    const auto fatal = fatalEventsFrom(before);
    ASSERT_EQ(fatal.size(), 1u);
    const auto& [event, session] = fatal[0];
    EXPECT_EQ(text(at(&event, "release")), "a@1");
    EXPECT_EQ(text(at(&event, "dist")), "7");
    EXPECT_EQ(text(at(&event, "environment")), "staging");
    EXPECT_EQ(text(at(at(&event, "tags"), "cli")), "crash");
    const auto breadcrumbs = elements(at(&event, "breadcrumbs"));
    ASSERT_EQ(breadcrumbs.size(), 1u);
    EXPECT_EQ(text(at(&breadcrumbs[0], "message")), "about to crash");
    // The crashed run set no user: the event has this installation's, as its session does.
    EXPECT_FALSE(text(at(&session, "did")).empty());
    EXPECT_EQ(text(at(at(&event, "user"), "id")), text(at(&session, "did")));
    EXPECT_EQ(text(at(&session, "status")), "crashed");
    EXPECT_EQ(text(at(at(&session, "attrs"), "release")), "a@1");
    EXPECT_EQ(text(at(at(&session, "attrs"), "environment")), "staging");

    // A run without a dist: its crash has none, though the run that sends it has one.
    crashed = cli({"--release", "a@1", "crash", "abort"});
    ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
    const size_t beforeMessage = server.requestCount();
    auto message = cli({"--release", "b@2", "--dist", "d2", "message", "x"});
    EXPECT_TRUE(WIFEXITED(message.status) && WEXITSTATUS(message.status) == 0) << message.output;
    const auto withoutDist = fatalEventsFrom(beforeMessage);
    ASSERT_EQ(withoutDist.size(), 1u);
    EXPECT_EQ(text(at(&withoutDist[0].first, "release")), "a@1");
    EXPECT_EQ(at(&withoutDist[0].first, "dist"), nullptr);
    bool messageWithDist = false;
    for (const auto& envelope : envelopesFrom(beforeMessage)) {
        const Value event = envelope.item("event") ? Value(*envelope.item("event")) : Value();
        messageWithDist |= text(at(at(&event, "message"), "formatted")) == "x" && text(at(&event, "dist")) == "d2";
    }
    EXPECT_TRUE(messageWithDist);
}

TEST_F(DuviduCrashCapture, AClockSetBackBetweenTheSessionsStartAndTheCrashKeepsTheCrashedSession)
{
    // The session starts by a clock that runs ahead and the crash comes after the clock was set back: by the two
    // readings, the session began after the crash.
    for (const char* secondsBack : {"5", "600"}) {
        SCOPED_TRACE(std::string("clock set back ") + secondsBack + " s");
        auto crashed = helper({"clock-back", secondsBack});
        ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
        const std::string crashedSession = currentSessionId();
        ASSERT_FALSE(crashedSession.empty());
        expectNextStartSendsTheCrashWithSession(crashedSession);
    }
}

TEST_F(DuviduCrashCapture, ACrashStateOfTheEarlierVersionWithATimeOutOfRangeSendsTheStoredSessionAsCrashed)
{
    // The earlier version kept no session id. A crash time that is no date (it would overflow the clock, or lies before
    // 1970) is unknown, and without a time that version took the stored session for the crashed run's.
    for (const char* time : {"1e10", "1e300", "-1e19"}) {
        SCOPED_TRACE(std::string("lastCrashTimestamp ") + time);
        auto crashed = helper({"segv"});
        ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
        const std::string crashedSession = currentSessionId();
        ASSERT_FALSE(crashedSession.empty());
        std::ofstream(stateFolder() / "CrashState.json")
            << R"({"crashedLastLaunch":true,"activeDurationSinceLastCrash":0.5,"lastCrashTimestamp":)" << time << "}";
        expectNextStartSendsTheCrashWithSession(crashedSession);
    }
}

TEST_F(DuviduCrashCapture, MarkingACrashHandledNeverWritesOverACrashRecordedSince)
{
    // Run F reads crash A and is held before it marks A handled; meanwhile run C starts (A is still recorded), begins
    // its session and crashes; then F marks A handled. C's crash stays recorded, with its session.
    auto first = helper({"abort"});
    ASSERT_TRUE(WIFSIGNALED(first.status)) << "status " << first.status;
    HeldRun marking(runHelper(), {"mark-handled-after"}, home.path() / "marking");
    ASSERT_TRUE(marking.held()) << "run F did not get to read the crash state";

    auto crashed = helper({"segv"});
    ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
    const std::string crashedSession = currentSessionId();
    ASSERT_FALSE(crashedSession.empty());
    const auto& marked = marking.letGo();
    EXPECT_TRUE(WIFEXITED(marked.status) && WEXITSTATUS(marked.status) == 0) << "status " << marked.status;
    expectNextStartSendsTheCrashWithSession(crashedSession);
}

TEST_F(DuviduCrashCapture, ASiblingsSessionStoredBeforeTheCrashIsLeftToTheSibling)
{
    // Run P begins its session, then sibling S begins its own (the stored session is S's now), then P crashes. S's
    // session is not the crashed run's: the next start leaves it to S, which ends it as exited when it quits.
    HeldRun crashing(runHelper(), {"crash-after"}, home.path() / "crashing");
    ASSERT_TRUE(crashing.held());
    HeldRun sibling(runHelper(), {"run-until"}, home.path() / "sibling");
    ASSERT_TRUE(sibling.held());
    const std::string siblingSession = currentSessionId();
    ASSERT_FALSE(siblingSession.empty());
    const auto& crashed = crashing.letGo();
    ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;

    const size_t before = server.requestCount();
    EXPECT_EQ(startHelper(), "crashedLastRun YES\n");
    EXPECT_EQ(fatalEventsFrom(before).size(), 1u);
    const auto& quit = sibling.letGo();
    EXPECT_TRUE(WIFEXITED(quit.status) && WEXITSTATUS(quit.status) == 0) << "status " << quit.status;
    EXPECT_EQ(sessionEndingsFrom(before)[siblingSession], std::vector<std::string>{"exited"});
}

TEST_F(DuviduCrashCapture, TheStoredSessionOfARunThatCrashedBeforeTheLastCrashIsSentAsCrashed)
{
    // Runs Q and P crash one after the other; P stored its session last, Q's crash is the one the crash state keeps.
    // P's crash report names P's session.
    HeldRun laterCrash(runHelper(), {"crash-after"}, home.path() / "q");
    ASSERT_TRUE(laterCrash.held());
    HeldRun earlierCrash(runHelper(), {"crash-after"}, home.path() / "p");
    ASSERT_TRUE(earlierCrash.held());
    const std::string storedSession = currentSessionId();
    ASSERT_FALSE(storedSession.empty());
    ASSERT_TRUE(WIFSIGNALED(earlierCrash.letGo().status));
    ASSERT_TRUE(WIFSIGNALED(laterCrash.letGo().status));

    const size_t before = server.requestCount();
    EXPECT_EQ(startHelper(), "crashedLastRun YES\n");
    EXPECT_EQ(fatalEventsFrom(before).size(), 2u);
    EXPECT_EQ(sessionEndingsFrom(before)[storedSession], std::vector<std::string>{"crashed"});
}

TEST_F(DuviduCrashCapture, TheCrashHandlerGivesUpAStateLockHeldElsewhereAfterASecondByTheClock)
{
    // Another process holds the crash state's lock, as one stopped in a debugger would, and every sleep of the crashing
    // run lasts up to 20 ms longer than asked: the handler waits a second by the clock, however few sleeps fit in it,
    // then records the crash without the lock.
    EXPECT_EQ(startHelper(), "crashedLastRun NO\n");
    auto holder = std::make_unique<vctest::LockHoldingProcess>(stateFolder().string());
    auto crashed = helper({"late-sleeps", "segv"});
    const auto ended = std::chrono::steady_clock::now().time_since_epoch();
    ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
    long long faultedAt = 0;
    ASSERT_EQ(std::sscanf(crashed.output.c_str(), "faulting at %lld", &faultedAt), 1) << crashed.output;
    const auto waited = ended - std::chrono::nanoseconds(faultedAt);
    EXPECT_GE(waited, std::chrono::seconds(1));
    EXPECT_LT(waited, std::chrono::seconds(2));
    holder.reset();
    EXPECT_EQ(startHelper(), "crashedLastRun YES\n");
}

// The service is out of reach until the test lets it listen: nothing is delivered before then.
class DuviduCrashCaptureOffline : public DuviduCrashCapture {
protected:
    DuviduCrashCaptureOffline() : DuviduCrashCapture(vctest::LoopbackHttpServer::Start::Refusing) {}
};

TEST_F(DuviduCrashCaptureOffline, EightProcessesCrashingAndStartingAtOnceSendEachCrashAndCrashedSessionOnce)
{
    // Eight runs on one cache crash at once; those that start after a sibling's crash turn what is there into
    // envelopes already. The last running session stored stays behind for the crash handling of the next start.
    constexpr int kProcesses = 8;
    for (const auto& crashed : cliAtOnce(kProcesses, {"--release", "a@1", "crash", "abort"}))
        ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
    const std::string leftSession = currentSessionId();
    ASSERT_FALSE(leftSession.empty());

    // Then eight start at once, with the service reachable.
    server.listen();
    // A flush that finds envelopes claimed by a sibling says so in its exit status; it is no fault here.
    for (const auto& flushed : cliAtOnce(kProcesses, {"--release", "a@1", "flush"}))
        EXPECT_TRUE(WIFEXITED(flushed.status)) << flushed.output;

    std::map<std::string, int> crashes;
    for (const auto& envelope : envelopesFrom(0)) {
        for (const auto& [type, json] : envelope.items) {
            const Value item(json);
            if (type == "event" && text(at(&item, "level")) == "fatal") ++crashes[text(at(&item, "event_id"))];
        }
    }
    auto endings = sessionEndingsFrom(0);
    size_t delivered = 0, crashedSent = 0, crashedDistinct = 0;
    for (const auto& [id, times] : crashes) delivered += times;
    for (const auto& [sid, states] : endings) {
        const auto times = static_cast<size_t>(std::count(states.begin(), states.end(), "crashed"));
        crashedSent += times;
        crashedDistinct += times > 0;
    }
    std::printf("crash events delivered %zu, expected %d (%zu distinct); crashed sessions sent %zu (%zu distinct)\n",
                delivered, kProcesses, crashes.size(), crashedSent, crashedDistinct);
    EXPECT_EQ(crashes.size(), size_t(kProcesses));
    EXPECT_EQ(delivered, size_t(kProcesses));
    EXPECT_EQ(crashedSent, crashedDistinct);
    EXPECT_EQ(endings[leftSession], std::vector<std::string>{"crashed"});
    EXPECT_EQ(count(home.cache() / "duvidu/DuviduCrash/duvidu-cli/Reports"), 0u);
    EXPECT_FALSE(existsInCache("session.crashed"));
    EXPECT_FALSE(existsInCache("session.current"));
}

TEST_F(DuviduCrashCaptureOffline, RunsStartingAtOnceAfterACrashEndTheSessionsTheyBeginThemselves)
{
    // Each round: one run crashes (in the first, while the service is out of reach), then several start at once and
    // begin sessions of their own. The crashed run's session is sent ended as crashed, once; a session that began
    // after the crash is ended by its own run, as exited, and never as crashed.
    const int rounds[] = {2, 4, 4, 8, 8, 8};
    for (size_t round = 0; round < std::size(rounds); ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(rounds[round]) + " runs at once");
        const std::string release = "b@" + std::to_string(round);
        const size_t before = server.requestCount();
        auto crashed = cli({"--release", "a@" + std::to_string(round), "crash", "abort"});
        ASSERT_TRUE(WIFSIGNALED(crashed.status)) << "status " << crashed.status;
        const std::string crashedSession = currentSessionId();
        ASSERT_FALSE(crashedSession.empty());

        server.listen();
        for (const auto& run : cliAtOnce(rounds[round], {"--release", release, "message", "after the crash"}))
            EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.output;
        // What a run could not deliver within its close goes with the next start.
        auto flushed = cli({"--release", release, "flush"});
        EXPECT_TRUE(WIFEXITED(flushed.status) && WEXITSTATUS(flushed.status) == 0) << flushed.output;

        std::set<std::string> runSessions;
        for (const auto& envelope : envelopesFrom(before)) {
            for (const auto& [type, json] : envelope.items) {
                const Value item(json);
                if (type == "session" && text(at(at(&item, "attrs"), "release")) == release)
                    runSessions.insert(text(at(&item, "sid")));
            }
        }
        auto endings = sessionEndingsFrom(before);
        EXPECT_EQ(endings[crashedSession], std::vector<std::string>{"crashed"});
        EXPECT_EQ(runSessions.size(), size_t(rounds[round]));
        for (const auto& sid : runSessions) {
            const auto& states = endings[sid];
            EXPECT_EQ(std::count(states.begin(), states.end(), "exited"), 1) << "session " << sid;
            EXPECT_EQ(std::count(states.begin(), states.end(), "crashed"), 0) << "session " << sid;
        }
    }
}

TEST_F(DuviduCrashCapture, TheLogServesTheSDKsThreadsWhileTheProcessEnds)
{
    // Under a sanitizer, a use of the log's objects after their destruction ends the helper with a report.
    auto ended = helper({"log-at-exit"});
    EXPECT_TRUE(WIFEXITED(ended.status) && WEXITSTATUS(ended.status) == 0) << "status " << ended.status;
}

TEST_F(DuviduCrashCapture, TwoThreadsFaultingTogetherLeaveOneReport)
{
    auto crashed = helper({"two-threads"});
    ASSERT_TRUE(WIFSIGNALED(crashed.status));
    EXPECT_EQ(WTERMSIG(crashed.status), SIGSEGV);
    EXPECT_EQ(count(reportsFolder()), 1u);
}

TEST_F(DuviduCrashCapture, StartCloseStartThenACrashLeavesOneReport)
{
    auto crashed = helper({"restart", "segv"});
    ASSERT_TRUE(WIFSIGNALED(crashed.status));
    EXPECT_EQ(WTERMSIG(crashed.status), SIGSEGV);
    EXPECT_EQ(count(reportsFolder()), 1u);
}

TEST_F(DuviduCrashCapture, AskingTheProcessToStopIsNoCrash)
{
    auto stopped = helper({"sigterm"});
    ASSERT_TRUE(WIFSIGNALED(stopped.status));
    EXPECT_EQ(WTERMSIG(stopped.status), SIGTERM);
    EXPECT_EQ(count(reportsFolder()), 0u);
    EXPECT_EQ(startHelper(), "crashedLastRun NO\n");
}

TEST_F(DuviduCrashCapture, CloseGivesBackThePreviousSegvAction)
{
    auto closed = helper({"close"});
    ASSERT_TRUE(WIFEXITED(closed.status));
    EXPECT_EQ(closed.output, "restored YES\n");
}

}  // namespace
