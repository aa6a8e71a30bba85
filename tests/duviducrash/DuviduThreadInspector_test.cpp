#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>

#include "Duvidu/DuviduCrashDefaultMachineContextWrapper.h"
#include "Duvidu/DuviduThreadInspector.h"
#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashMachineContext.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"
#include "ParkedThreads.h"
#include "duvidu/DuviduTestSupport.h"

using namespace duvidu;
using duviducrashtest::ParkedThreads;

// Functions the workers and the test stand in; out of line and with external names, so that they appear in stacks.
extern "C" {
__attribute__((noinline)) void duviducrashtest_parkedAlpha(ParkedThreads& threads)
{
    threads.park();
    asm volatile("");
}
__attribute__((noinline)) void duviducrashtest_parkedBeta(ParkedThreads& threads)
{
    threads.park();
    asm volatile("");
}
__attribute__((noinline)) void duviducrashtest_parkedGamma(ParkedThreads& threads)
{
    threads.park();
    asm volatile("");
}
__attribute__((noinline)) void duviducrashtest_inspectFromHere(DuviduThreadInspector& inspector, bool withStacks,
                                                                std::vector<DuviduThread>& threads)
{
    threads = withStacks ? inspector.getCurrentThreadsWithStackTrace() : inspector.getCurrentThreads();
    asm volatile("");
}
__attribute__((noinline)) int duviducrashtest_recurse(int depth, DuviduCrashStackCursor* cursor)
{
    if (depth == 0) {
        duviducrashsc_initSelfThread(cursor, 0);
        return 0;
    }
    int result = duviducrashtest_recurse(depth - 1, cursor);
    asm volatile("");
    return result + 1;
}
}

namespace {

// Functions with internal linkage and C++ names: the image exports neither, so only its file's symbol table names
// them.
__attribute__((noinline)) void parkedPrivately(ParkedThreads& threads)
{
    threads.park();
    asm volatile("");
}

__attribute__((noinline)) std::vector<DuviduThread> listPrivately(DuviduThreadInspector& inspector)
{
    auto threads = inspector.getCurrentThreads();
    asm volatile("");
    return threads;
}

using Clock = std::chrono::steady_clock;

class DuviduThreadInspectorTest : public duvidutest::DuviduTest {
protected:
    DuviduThreadInspector inspector{DuviduOptions()};
    // A sanitizer may run a thread of its own besides the test's.
    static size_t processThreads() { return static_cast<size_t>(duviducrashthread_listThreads(nullptr, 0)); }
    // Starts sleepers until the process has this many threads.
    static void fillUpTo(size_t total, ParkedThreads& workers, ParkedThreads::Body body)
    {
        while (processThreads() < total) {
            workers.start("sleeper", body);
            workers.waitUntilParked();
        }
    }

    static const DuviduThread* named(const std::vector<DuviduThread>& threads, const std::string& name)
    {
        auto found = std::find_if(threads.begin(), threads.end(), [&](const auto& t) { return t.name == name; });
        return found == threads.end() ? nullptr : &*found;
    }
    static bool hasFunction(const DuviduThread& thread, const std::string& function)
    {
        if (!thread.stacktrace) return false;
        const auto& frames = thread.stacktrace->frames;
        return std::any_of(frames.begin(), frames.end(), [&](const auto& f) { return f.function == function; });
    }
    // A worker that waits in nanosleep and counts the times a signal handler cut the wait short.
    static ParkedThreads::Body sleeper(std::atomic<int>& interrupted)
    {
        return [&interrupted](ParkedThreads& threads) {
            threads.arrived();
            while (!threads.released()) {
                timespec wait{0, 5'000'000};
                if (nanosleep(&wait, nullptr) != 0 && errno == EINTR) ++interrupted;
            }
        };
    }
};

TEST_F(DuviduThreadInspectorTest, ListsNamedWorkersWithTheirParkedFunctions)
{
    ParkedThreads workers;
    workers.start("alpha-worker", duviducrashtest_parkedAlpha);
    workers.start("beta-worker", duviducrashtest_parkedBeta);
    workers.start("gamma-worker", duviducrashtest_parkedGamma);
    workers.waitUntilParked();
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();

    for (bool withStacks : {false, true}) {
        SCOPED_TRACE(withStacks ? "with stacks" : "calling thread's stack only");
        std::vector<DuviduThread> threads;
        duviducrashtest_inspectFromHere(inspector, withStacks, threads);
        ASSERT_EQ(threads.size(), processThreads());
        EXPECT_EQ(threads[0].isMain, true);
        EXPECT_EQ(std::count_if(threads.begin(), threads.end(), [](const auto& t) { return t.isMain == true; }), 1);
        EXPECT_EQ(std::count_if(threads.begin(), threads.end(), [](const auto& t) { return t.current == true; }), 1);
        std::set<int64_t> ids;
        for (const auto& thread : threads) ids.insert(thread.threadId.value_or(-1));
        EXPECT_EQ(ids.size(), threads.size());
        EXPECT_EQ(*ids.begin(), 0);
        EXPECT_EQ(*ids.rbegin(), static_cast<int64_t>(threads.size() - 1));

        // The test runs on the main thread; its stack ends in the test's own function, the SDK's frames removed.
        ASSERT_TRUE(threads[0].current.value_or(false));
        ASSERT_TRUE(threads[0].stacktrace && !threads[0].stacktrace->frames.empty());
        const DuviduFrame& top = threads[0].stacktrace->frames.back();
        EXPECT_EQ(top.function, "duviducrashtest_inspectFromHere");
        EXPECT_EQ(top.package, program);
        EXPECT_EQ(top.inApp, true);

        const std::pair<const char*, const char*> expected[] = {{"alpha-worker", "duviducrashtest_parkedAlpha"},
                                                                {"beta-worker", "duviducrashtest_parkedBeta"},
                                                                {"gamma-worker", "duviducrashtest_parkedGamma"}};
        for (auto [name, function] : expected) {
            const DuviduThread* worker = named(threads, name);
            ASSERT_NE(worker, nullptr) << name;
            EXPECT_EQ(worker->current, false);
            EXPECT_EQ(worker->isMain, false);
            EXPECT_EQ(hasFunction(*worker, function), withStacks) << name;
        }
    }
}

TEST_F(DuviduThreadInspectorTest, FramesOutsideCrashesAreNamedFromTheImageFileAndDemangled)
{
    ParkedThreads workers;
    workers.start("private-worker", parkedPrivately);
    workers.waitUntilParked();

    const auto walked = inspector.getCurrentThreadsWithStackTrace();
    const DuviduThread* worker = named(walked, "private-worker");
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(hasFunction(*worker, "(anonymous namespace)::parkedPrivately(duviducrashtest::ParkedThreads&)"));

    const auto threads = listPrivately(inspector);
    ASSERT_TRUE(threads[0].stacktrace && !threads[0].stacktrace->frames.empty());
    EXPECT_EQ(threads[0].stacktrace->frames.back().function,
              "(anonymous namespace)::listPrivately(duvidu::DuviduThreadInspector&)");
    // So is the test's own body.
    EXPECT_TRUE(hasFunction(threads[0],
                            "(anonymous namespace)::DuviduThreadInspectorTest_"
                            "FramesOutsideCrashesAreNamedFromTheImageFileAndDemangled_Test::TestBody()"));
}

TEST_F(DuviduThreadInspectorTest, SeventyOneThreadsAreNeitherSuspendedNorSignalled)
{
    std::atomic<int> interrupted{0};
    ParkedThreads workers;
    fillUpTo(70, workers, sleeper(interrupted));
    // With 70 threads every other thread is sampled, which cuts sleeps short.
    EXPECT_EQ(inspector.getCurrentThreadsWithStackTrace().size(), 70u);
    EXPECT_GT(interrupted.load(), 0);

    fillUpTo(71, workers, sleeper(interrupted));
    interrupted = 0;
    pid_t* suspended = reinterpret_cast<pid_t*>(1);
    int count = -1;
    duviducrashmc_suspendEnvironment_upToMaxSupportedThreads(&suspended, &count, 70);
    EXPECT_EQ(suspended, nullptr);
    EXPECT_EQ(count, 0);
    duviducrashmc_resumeEnvironment(suspended, count);
    EXPECT_TRUE(inspector.getCurrentThreadsWithStackTrace().empty());
    usleep(20'000);  // a signal, had one been sent, has arrived by now
    EXPECT_EQ(interrupted.load(), 0);
    // Both resumes of nothing say so.
    auto lines = logOutput->lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.rfind("[Duvidu] [debug] [DuviduCrashMachineContext:", 0) == 0 &&
                                       line.find("] we should call duviducrashmc_suspendEnvironment() first") !=
                                           std::string::npos;
                            }),
              2);
}

TEST_F(DuviduThreadInspectorTest, AThreadThatBlocksEverySignalGivesAnEmptyStackWithoutAHang)
{
    ParkedThreads workers;
    workers.start("deaf-worker", [](ParkedThreads& threads) {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        duviducrashtest_parkedAlpha(threads);
    });
    workers.start("beta-worker", duviducrashtest_parkedBeta);
    workers.waitUntilParked();

    // The sampler gives up on the deaf thread after its two deadlines of a quarter second each; without them the call
    // would never return. The bound leaves room for a sanitizer on a busy machine and still tells the two apart.
    auto started = Clock::now();
    auto threads = inspector.getCurrentThreadsWithStackTrace();
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
    ASSERT_EQ(threads.size(), processThreads());
    const DuviduThread* deaf = named(threads, "deaf-worker");
    ASSERT_NE(deaf, nullptr);
    ASSERT_TRUE(deaf->stacktrace);
    EXPECT_TRUE(deaf->stacktrace->frames.empty());
    ASSERT_NE(named(threads, "beta-worker"), nullptr);
    EXPECT_TRUE(hasFunction(*named(threads, "beta-worker"), "duviducrashtest_parkedBeta"));
}

TEST_F(DuviduThreadInspectorTest, ThousandInspectionsWhileThreadsAllocateAndLock)
{
    ParkedThreads workers;
    std::mutex shared;
    std::atomic<uint64_t> work{0};
    for (int i = 0; i < 4; ++i) {
        workers.start("hammer", [&, i](ParkedThreads& threads) {
            threads.arrived();
            unsigned seed = static_cast<unsigned>(i);
            while (!threads.released()) {
                void* block = std::malloc(16 + rand_r(&seed) % 256);
                {
                    std::lock_guard lock(shared);
                    static_cast<volatile char*>(block)[0] = 1;
                    ++work;
                }
                std::free(block);
            }
        });
    }
    workers.waitUntilParked();
    const size_t count = processThreads();
    size_t framesSeen = 0;
    for (int i = 0; i < 1000; ++i) {
        auto threads = inspector.getCurrentThreadsWithStackTrace();
        ASSERT_EQ(threads.size(), count);
        for (const auto& thread : threads) framesSeen += thread.stacktrace ? thread.stacktrace->frames.size() : 0;
    }
    workers.release();
    EXPECT_GT(framesSeen, 1000u);
    EXPECT_GT(work.load(), 0u);
}

TEST_F(DuviduThreadInspectorTest, MoreThanAHundredThreadsAreCutButTheCallerStays)
{
    std::atomic<int> interrupted{0};
    ParkedThreads workers;
    fillUpTo(105, workers, sleeper(interrupted));
    // The caller is the newest thread, listed last, where the cut falls.
    pid_t caller = 0;
    DuviduCrashMachineContext context;
    std::vector<DuviduThread> threads;
    std::thread([&] {
        caller = static_cast<pid_t>(syscall(SYS_gettid));
        DuviduCrashDefaultMachineContextWrapper().fillContextForCurrentThread(&context);
        threads = inspector.getCurrentThreads();
    }).join();
    EXPECT_EQ(context.threadCount, 100);
    EXPECT_NE(std::find(context.allThreads, context.allThreads + 100, caller), context.allThreads + 100);
    ASSERT_EQ(threads.size(), 100u);
    EXPECT_EQ(std::count_if(threads.begin(), threads.end(), [](const auto& t) { return t.current == true; }), 1);
    auto lines = logOutput->lines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& line) {
                               return line.find("Thread count 106 is higher than maximum of 100") != std::string::npos;
                           }),
              lines.end());
}

TEST(DuviduCrashStackCursorTest, CallingThreadsStackHoldsAtMost97Addresses)
{
    DuviduCrashBinaryImageCache::refresh();
    DuviduCrashStackCursor cursor;
    duviducrashtest_recurse(150, &cursor);
    int count = 0;
    while (cursor.advanceCursor(&cursor)) {
        ASSERT_TRUE(cursor.symbolicate(&cursor));
        EXPECT_STREQ(cursor.stackEntry.symbolName, "duviducrashtest_recurse") << count;
        ++count;
    }
    // 97 addresses, less the cursor's own frame.
    EXPECT_EQ(count, 96);
    cursor.resetCursor(&cursor);
    EXPECT_TRUE(cursor.advanceCursor(&cursor));
    EXPECT_EQ(cursor.state.currentDepth, 1);
}

}  // namespace
