// The process-wide list of event processors.
#include <atomic>
#include <thread>

#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduGlobalEventProcessor.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

class DuviduGlobalEventProcessorTest : public duvidutest::DuviduTest {
protected:
    void TearDown() override
    {
        DuviduGlobalEventProcessor::shared().removeAllProcessors();
        duvidutest::DuviduTest::TearDown();
    }
};

TEST_F(DuviduGlobalEventProcessorTest, SnapshotsKeepTheirProcessorsInOrder)
{
    auto& global = DuviduGlobalEventProcessor::shared();
    EXPECT_EQ(&global, &DuviduGlobalEventProcessor::shared());
    EXPECT_TRUE(global.processors()->empty());

    global.addEventProcessor([](std::shared_ptr<DuviduEvent> event) {
        event->logger = "first";
        return event;
    });
    auto snapshot = global.processors();
    global.addEventProcessor([](std::shared_ptr<DuviduEvent>) { return std::shared_ptr<DuviduEvent>(); });
    EXPECT_EQ(snapshot->size(), 1u);
    ASSERT_EQ(global.processors()->size(), 2u);

    auto event = std::make_shared<DuviduEvent>();
    EXPECT_EQ(global.processors()->at(0)(event), event);
    EXPECT_EQ(event->logger, "first");
    EXPECT_EQ(global.processors()->at(1)(event), nullptr);

    global.removeAllProcessors();
    EXPECT_TRUE(global.processors()->empty());
    EXPECT_EQ(snapshot->size(), 1u);
}

TEST_F(DuviduGlobalEventProcessorTest, ConcurrentAddingAndWalking)
{
    auto& global = DuviduGlobalEventProcessor::shared();
    std::atomic<int> calls{0};
    std::atomic<bool> adding{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) {
                global.addEventProcessor([&calls](std::shared_ptr<DuviduEvent> event) {
                    ++calls;
                    return event;
                });
            }
        });
    }
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            auto event = std::make_shared<DuviduEvent>();
            while (adding) {
                auto processors = global.processors();
                for (const auto& processor : *processors) ASSERT_EQ(processor(event), event);
            }
        });
    }
    for (int t = 0; t < 4; ++t) threads[static_cast<size_t>(t)].join();
    adding = false;
    for (size_t t = 4; t < threads.size(); ++t) threads[t].join();
    EXPECT_EQ(global.processors()->size(), 1000u);
}

}  // namespace
