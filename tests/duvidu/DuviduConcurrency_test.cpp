// Thread-safety of the container, the clock, the queues and the notification center; meant to run clean under
// ThreadSanitizer.
#include <cmath>
#include <atomic>
#include <future>
#include <thread>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduDispatchFactory.h"
#include "Duvidu/DuviduMainThreadExecutor.h"
#include "Duvidu/DuviduMeta.h"
#include "Duvidu/DuviduNSTimerWrapper.h"
#include "Duvidu/DuviduRandom.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
using namespace std::chrono_literals;

namespace {

class DuviduConcurrencyTest : public duvidutest::DuviduTest {};

template <typename Body>
void onThreads(int count, Body body)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) threads.emplace_back([&body, t] { body(t); });
    for (auto& thread : threads) thread.join();
}

class FixedRandom : public DuviduRandomProtocol {
public:
    double nextNumber() override { return 0.25; }
};

TEST_F(DuviduConcurrencyTest, ContainerMakesEachMemberOnceAndResetGivesFreshOnes)
{
    auto container = DuviduDependencyContainer::sharedInstance();
    std::vector<std::shared_ptr<DuviduRandomProtocol>> seen(8);
    onThreads(8, [&](int t) { seen[static_cast<size_t>(t)] = container->random(); });
    for (const auto& random : seen) EXPECT_EQ(random, seen[0]);
    EXPECT_EQ(container->dispatchQueueWrapper(), container->dispatchQueueWrapper());
    EXPECT_NE(container->processInfoWrapper(), DuviduNSProcessInfoWrapper::shared());
    EXPECT_EQ(container->crashWrapper(), DuviduCrashWrapper::sharedInstance());

    DuviduDependencyContainer::reset();
    auto fresh = DuviduDependencyContainer::sharedInstance();
    EXPECT_NE(fresh, container);
    EXPECT_NE(fresh->random(), seen[0]);
}

TEST_F(DuviduConcurrencyTest, ContainerSettersReadsAndResetsRace)
{
    auto fake = std::make_shared<FixedRandom>();
    std::atomic<int> fakes{0};
    onThreads(8, [&](int t) {
        for (int i = 0; i < 200; ++i) {
            auto container = DuviduDependencyContainer::sharedInstance();
            if (t % 4 == 0) container->setRandom(fake);
            if (t % 4 == 1 && i % 50 == 0) DuviduDependencyContainer::reset();
            if (container->random()->nextNumber() == 0.25) ++fakes;
            container->threadWrapper();
            container->notificationCenterWrapper();
        }
    });
    EXPECT_GT(fakes.load(), 0);
}

TEST_F(DuviduConcurrencyTest, ClockProviderSwapsWhileRead)
{
    onThreads(6, [&](int t) {
        for (int i = 0; i < 500; ++i) {
            if (t == 0) DuviduCurrentDate::setCurrentDateProvider(i % 2 ? nullptr : clock);
            else (void)DuviduCurrentDate::date();
        }
    });
    DuviduCurrentDate::setCurrentDateProvider(nullptr);
    (void)DuviduCurrentDate::date();
    EXPECT_EQ(DuviduCurrentDate::getCurrentDateProvider(), DuviduDefaultCurrentDateProvider::sharedInstance());
}

TEST_F(DuviduConcurrencyTest, MetaAndLogSettingsRace)
{
    onThreads(4, [&](int t) {
        for (int i = 0; i < 300; ++i) {
            if (t == 0) DuviduMeta::setSdkName(i % 2 ? "duvidu.cocoa" : "hybrid");
            else if (t == 1) DuviduLog::configure(true, i % 2 ? DuviduLevel::Debug : DuviduLevel::Fatal);
            else {
                auto name = DuviduMeta::sdkName();
                EXPECT_TRUE(name == "duvidu.cocoa" || name == "hybrid");
                DUVIDU_LOG_DEBUG("message");
            }
        }
    });
    DuviduMeta::setSdkName("duvidu.cocoa");
}

TEST_F(DuviduConcurrencyTest, SerialQueueKeepsOrderFromManyProducers)
{
    DuviduDispatchQueueWrapper wrapper("duvidu-test");
    std::mutex mutex;
    std::vector<std::pair<int, int>> ran;  // written on the queue only
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    onThreads(4, [&](int t) {
        for (int i = 0; i < 250; ++i) {
            wrapper.dispatchAsyncWithBlock([&, t, i] {
                if (running.fetch_add(1) != 0) overlapped = true;
                {
                    std::lock_guard lock(mutex);
                    ran.emplace_back(t, i);
                }
                running.fetch_sub(1);
            });
        }
    });
    wrapper.queue()->sync([] {});
    EXPECT_FALSE(overlapped.load());
    std::lock_guard lock(mutex);
    ASSERT_EQ(ran.size(), 1000u);
    std::vector<int> next(4, 0);
    for (auto [t, i] : ran) EXPECT_EQ(i, next[static_cast<size_t>(t)]++);
}

TEST_F(DuviduConcurrencyTest, DelayedBlocksRunInDeadlineOrderAndCancelledOnesNot)
{
    DuviduDispatchQueueWrapper wrapper("duvidu-test");
    std::vector<int> order;
    auto start = std::chrono::steady_clock::now();
    wrapper.dispatchAfter(0.06, [&] { order.push_back(3); });
    wrapper.dispatchAfter(0.02, [&] { order.push_back(1); });
    auto cancelled = wrapper.createDispatchBlock([&] { order.push_back(99); });
    wrapper.dispatchAfter(0.04, [cancelled] { cancelled(); });
    wrapper.dispatchCancel(cancelled);
    wrapper.dispatchAfter(0.04, [&] { order.push_back(2); });
    wrapper.dispatchAsyncWithBlock([&] { order.push_back(0); });
    std::promise<void> done;
    wrapper.dispatchAfter(0.08, [&] { done.set_value(); });
    done.get_future().wait();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(DuviduDispatchQueueWrapper::nanosecondsForDelay(0.5), 500000000);
    EXPECT_EQ(DuviduDispatchQueueWrapper::nanosecondsForDelay(-1), 0);
    EXPECT_EQ(DuviduDispatchQueueWrapper::nanosecondsForDelay(std::nan("")), 0);
}

TEST_F(DuviduConcurrencyTest, DroppedQueueFinishesWhatWasDueAndMayBeDroppedFromItsOwnBlock)
{
    std::atomic<int> ran{0};
    {
        auto queue = std::make_unique<DuviduDispatchQueue>("duvidu-test");
        for (int i = 0; i < 100; ++i) queue->async([&] { ++ran; });
        queue->asyncAt(DuviduDispatchQueue::Clock::now() + 10s, [&] { ran += 1000; });
        EXPECT_TRUE(queue->waitUntilIdle(10s));
        EXPECT_EQ(ran.load(), 100);
    }
    EXPECT_EQ(ran.load(), 100);

    auto self = std::make_shared<std::unique_ptr<DuviduDispatchQueue>>(std::make_unique<DuviduDispatchQueue>("q"));
    std::promise<void> done;
    (*self)->async([self, &done] {
        self->reset();  // the queue is destroyed on its own thread
        done.set_value();
    });
    done.get_future().wait();
}

// Closing the SDK drops its queues on the main thread while a queued block may be waiting for the main thread.
TEST_F(DuviduConcurrencyTest, DroppingAQueueNeverWaitsForItsBlocks)
{
    std::promise<void> mainThreadFree;
    auto freed = mainThreadFree.get_future().share();
    std::promise<void> blockDone;
    std::atomic<int> laterBlocks{0};
    auto queue = std::make_unique<DuviduDispatchQueue>("duvidu-test");
    queue->async([freed, &blockDone] {
        freed.wait();
        blockDone.set_value();
    });
    for (int i = 0; i < 10; ++i) queue->async([&] { ++laterBlocks; });
    EXPECT_FALSE(queue->waitUntilIdle(20ms));
    queue.reset();  // would deadlock if the drop waited for the block above
    mainThreadFree.set_value();
    EXPECT_EQ(blockDone.get_future().wait_for(10s), std::future_status::ready);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (laterBlocks.load() < 10 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(laterBlocks.load(), 10);  // what was due when it was dropped still ran
}

TEST_F(DuviduConcurrencyTest, WaitUntilIdleCoversDueDelayedBlocksButNotItsOwnThread)
{
    DuviduDispatchQueue queue("duvidu-test");
    EXPECT_TRUE(queue.waitUntilIdle(0s));
    std::atomic<bool> delayedRan{false};
    queue.asyncAt(DuviduDispatchQueue::Clock::now() + 30ms, [&] { delayedRan = true; });
    EXPECT_TRUE(queue.waitUntilIdle(0s));  // not due yet
    std::this_thread::sleep_for(40ms);
    EXPECT_TRUE(queue.waitUntilIdle(10s));
    EXPECT_TRUE(delayedRan.load());

    std::promise<bool> fromInside;
    queue.async([&] { fromInside.set_value(queue.waitUntilIdle(10s)); });
    EXPECT_FALSE(fromInside.get_future().get());
}

TEST_F(DuviduConcurrencyTest, SyncFromTheQueueItselfDoesNotDeadlock)
{
    DuviduDispatchQueueWrapper wrapper("duvidu-test");
    bool inner = false;
    wrapper.queue()->sync([&] { wrapper.queue()->sync([&] { inner = true; }); });
    EXPECT_TRUE(inner);
}

TEST_F(DuviduConcurrencyTest, MainQueueSyncRunsInlineOnTheMainThreadAndWaitsElsewhere)
{
    DuviduDispatchQueueWrapper wrapper;
    std::atomic<bool> ranOnMain{false};
    wrapper.dispatchSyncOnMainQueue([&] { ranOnMain = DuviduMainThreadExecutor::shared()->isMainThread(); });
    EXPECT_TRUE(ranOnMain.load());

    bool nested = false;
    wrapper.dispatchSyncOnMainQueue([&] { wrapper.dispatchSyncOnMainQueue([&] { nested = true; }); });
    EXPECT_TRUE(nested);

    std::promise<bool> onMain;
    wrapper.dispatchAsyncOnMainQueue([&] { onMain.set_value(DuviduMainThreadExecutor::shared()->isMainThread()); });
    EXPECT_TRUE(onMain.get_future().get());
}

TEST_F(DuviduConcurrencyTest, DispatchOnceRunsOnceAcrossThreads)
{
    DuviduDispatchQueueWrapper wrapper("duvidu-test");
    std::atomic<long> predicate{0};
    std::atomic<int> calls{0};
    onThreads(8, [&](int) { wrapper.dispatchOnce(predicate, [&] { ++calls; }); });
    EXPECT_EQ(calls.load(), 1);
    std::atomic<long> done{-1};
    wrapper.dispatchOnce(done, [&] { ++calls; });
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(DuviduConcurrencyTest, TimerSourceRepeatsUntilCancelled)
{
    DuviduDispatchFactory factory;
    std::atomic<int> fired{0};
    auto source = factory.sourceWithInterval(10'000'000, 0, "duvidu-timer", [&] { ++fired; });
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (fired.load() < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
    EXPECT_GE(fired.load(), 3);
    source->cancel();
    source->queueWrapper()->queue()->sync([] {});
    int after = fired.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fired.load(), after);
}

TEST_F(DuviduConcurrencyTest, TimersFireOnTheMainThread)
{
    DuviduNSTimerWrapper timers;
    std::promise<bool> once;
    auto timer = timers.scheduledTimerWithTimeInterval(0.01, false, [&](DuviduTimer&) {
        once.set_value(DuviduMainThreadExecutor::shared()->isMainThread());
    });
    EXPECT_TRUE(once.get_future().get());

    std::atomic<int> repeats{0};
    std::promise<void> third;
    auto repeating = timers.scheduledTimerWithTimeInterval(0.005, true, [&](DuviduTimer& t) {
        if (++repeats == 3) {
            t.invalidate();
            third.set_value();
        }
    });
    third.get_future().wait();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(repeats.load(), 3);
    EXPECT_FALSE(repeating->isValid());
}

TEST_F(DuviduConcurrencyTest, NotificationCenterPostsWhileObserversComeAndGo)
{
    DuviduNSNotificationCenterWrapper center;
    const std::string name = "DuviduConcurrencyTest";
    int token = 0;
    std::atomic<int> received{0};
    center.addObserver(&token, [&](const DuviduNotification&) { ++received; }, name);
    onThreads(6, [&](int t) {
        int local = 0;
        for (int i = 0; i < 200; ++i) {
            if (t % 2) {
                center.addObserver(&local, [](const DuviduNotification&) {}, name);
                center.removeObserver(&local, name);
            } else {
                center.postNotificationName(name);
            }
        }
    });
    EXPECT_EQ(received.load(), 600);
    center.removeObserver(&token);
    center.postNotificationName(name);
    EXPECT_EQ(received.load(), 600);
}

TEST_F(DuviduConcurrencyTest, RandomNumbersFromManyThreadsStayInRange)
{
    DuviduRandom random;
    std::atomic<bool> outOfRange{false};
    onThreads(4, [&](int) {
        for (int i = 0; i < 1000; ++i) {
            double n = random.nextNumber();
            if (n < 0 || n >= 1) outOfRange = true;
        }
    });
    EXPECT_FALSE(outOfRange.load());
}

}  // namespace
