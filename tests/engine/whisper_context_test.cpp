#include <gtest/gtest.h>

#include <sched.h>

#include <thread>

#include "engine/WhisperContext.h"
#include "engine/WhisperError.h"
#include "support/Fifo.h"
#include "support/TempHome.h"
#include "CapturedLog.h"
#include "FakeRecognizer.h"

using capturetest::CapturedLog;
using enginetest::FakeRecognizer;

namespace {

class WhisperContextTest : public testing::Test {
protected:
    vctest::TempHome home;
    FakeRecognizer recognizer;

    std::shared_ptr<WhisperContext> load() {
        const auto file = home.path() / "model.bin";
        enginetest::writeFakeModel(file);
        return WhisperContext::createContext(file.string(), recognizer);
    }
};

TEST(WhisperContextThreads, TwoFewerThanProcessorsWithinOneToEight) {
    EXPECT_EQ(WhisperContext::threadCount(0), 1);
    EXPECT_EQ(WhisperContext::threadCount(1), 1);
    EXPECT_EQ(WhisperContext::threadCount(3), 1);
    EXPECT_EQ(WhisperContext::threadCount(4), 2);
    EXPECT_EQ(WhisperContext::threadCount(6), 4);
    EXPECT_EQ(WhisperContext::threadCount(10), 8);
    EXPECT_EQ(WhisperContext::threadCount(16), 8);
}

TEST_F(WhisperContextTest, UnloadableFileIsLoggedAndThrown) {
    CapturedLog log;
    const auto file = home.path() / "broken.bin";
    enginetest::writeFakeModel(file, "broken");
    try {
        WhisperContext::createContext(file.string(), recognizer);
        FAIL() << "no error";
    } catch (const WhisperError& error) {
        EXPECT_EQ(error.errorCase(), WhisperError::Case::couldNotInitializeContext);
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Couldn't load model at " + file.string()});
}

TEST(WhisperContextFiles, SpecialAndOversizedModelFilesAreRefusedWithoutWaiting) {
    vctest::TempHome home;
    CapturedLog log;
    auto refused = [](const std::filesystem::path& file) {
        try {
            WhisperContext::createContext(file.string(), Recognizer::library());
        } catch (const WhisperError& error) {
            return error.errorCase() == WhisperError::Case::couldNotInitializeContext;
        }
        return false;
    };
    const vctest::Fifo fifo(home.path() / "ggml-small.en.bin");
    EXPECT_TRUE(fifo.returnsWithin([&] { EXPECT_TRUE(refused(fifo.path())); }));
    const auto large = home.path() / "ggml-large.bin";
    enginetest::writeFakeModel(large);
    std::filesystem::resize_file(large, (std::uintmax_t(4) << 30) + 1);
    EXPECT_TRUE(refused(large));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Couldn't load model at " + fifo.path().string() + ": Not a regular file",
                               "Couldn't load model at " + large.string() + ": File too large"}));
}

TEST_F(WhisperContextTest, RunSetsTheParameterTableAndLeavesTheRestAtDefaults) {
    auto context = load();
    const std::vector<float> samples(1600, 0.25f);
    context->fullTranscribe(samples, "", "auto", true, false);

    const auto runs = recognizer.runs();
    ASSERT_EQ(runs.size(), 1u);
    const auto& p = runs[0].params;
    EXPECT_EQ(p.strategy, WHISPER_SAMPLING_GREEDY);
    EXPECT_EQ(p.offset_ms, 0);
    EXPECT_TRUE(p.translate);
    EXPECT_TRUE(p.no_context);
    EXPECT_FALSE(p.single_segment);
    EXPECT_FALSE(p.print_special);
    EXPECT_FALSE(p.print_progress);
    EXPECT_FALSE(p.print_realtime);
    EXPECT_TRUE(p.print_timestamps);
    EXPECT_FALSE(p.speed_up);
    EXPECT_EQ(p.duration_ms, FakeRecognizer::defaultDurationMs);
    // An empty prompt is an empty text, not none; "auto" goes through verbatim.
    EXPECT_FALSE(runs[0].promptWasNull);
    EXPECT_EQ(runs[0].prompt, "");
    EXPECT_EQ(runs[0].language, "auto");
    EXPECT_EQ(runs[0].samples, samples);
    EXPECT_EQ(recognizer.callList(), (std::vector<std::string>{"reset", "full", "timings"}));
}

// As under taskset or a container's CPU set: four of the machine's processors, so two threads, however many it has.
TEST_F(WhisperContextTest, ThreadsFollowTheProcessorsTheCallerMayRunOn) {
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    if (CPU_COUNT(&allowed) < 5) GTEST_SKIP() << "needs five processors to tell four of them from all";
    cpu_set_t four;
    CPU_ZERO(&four);
    for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&four) < 4; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) CPU_SET(cpu, &four);
    }
    auto context = load();
    std::thread([&] {
        ASSERT_EQ(sched_setaffinity(0, sizeof four, &four), 0);
        context->fullTranscribe(std::vector<float>(1600, 0.25f), "", "en", false, false);
    }).join();
    ASSERT_EQ(recognizer.runs().size(), 1u);
    EXPECT_EQ(recognizer.runs()[0].params.n_threads, 2);
}

TEST_F(WhisperContextTest, FailedRunIsLoggedWithoutTimingsAndKeepsWhatTheContextHolds) {
    auto context = load();
    recognizer.fullResult = -1;
    recognizer.defaultSegments = {" left", " over"};
    CapturedLog log;
    context->fullTranscribe(std::vector<float>(10, 0.0f), "p", "en", false, false);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Failed to run the model"});
    EXPECT_EQ(recognizer.callList(), (std::vector<std::string>{"reset", "full"}));
    EXPECT_EQ(context->joinedSegmentText(), " left over");
}

TEST_F(WhisperContextTest, SegmentsJoinWithNothingBetweenAndInvalidBytesAreRepaired) {
    auto context = load();
    // "é" split across two segments survives; a lone bad byte becomes U+FFFD.
    recognizer.script({" One", " two \xC3", "\xA9", "\xFF"});
    EXPECT_EQ(context->transcribe({}, "", "en", false, false), " One two \xC3\xA9\xEF\xBF\xBD");
}

TEST_F(WhisperContextTest, RunsTakeTurnsInArrivalOrderAndTheContextIsFreedWithTheLastOwner) {
    auto context = load();
    recognizer.hold();
    recognizer.script({"first"});
    recognizer.script({"second"});
    std::string first, second;
    std::thread a([&] { first = context->transcribe(std::vector<float>(1, 0.1f), "", "en", false, false); });
    recognizer.waitForWaitingRuns(1);
    std::thread b([&] { second = context->transcribe(std::vector<float>(2, 0.1f), "", "en", false, false); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(recognizer.runs().size(), 1u);  // the second waits for its turn
    recognizer.release();
    a.join();
    b.join();
    EXPECT_FALSE(recognizer.overlapped());
    EXPECT_EQ(first, "first");
    EXPECT_EQ(second, "second");

    EXPECT_TRUE(recognizer.freed().empty());
    context.reset();
    EXPECT_EQ(recognizer.freed().size(), 1u);
}

}  // namespace
