#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "engine/Recorder.h"
#include "engine/VoiceActivityRule.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"
#include "CapturedLog.h"
#include "FakeCaptureBackend.h"
#include "RecorderFixture.h"
#include "SyntheticAudio.h"

using capturetest::FakeCaptureBackend;

namespace {

// Loud (0.5) where loud(i) holds, silent elsewhere.
std::vector<float> pattern(std::size_t count, const std::function<bool(std::size_t)>& loud) {
    std::vector<float> samples(count);
    for (std::size_t i = 0; i < count; ++i) samples[i] = loud(i) ? 0.5f : 0.0f;
    return samples;
}

TEST(VoiceActivityRuleTest, FiresOnAPauseAfterSpeech) {
    EXPECT_FALSE(VoiceActivityRule::fires(std::vector<float>(32000, 0.0f)));  // silence
    EXPECT_FALSE(VoiceActivityRule::fires(std::vector<float>(32000, 0.3f)));  // steady tone: the means are equal
    EXPECT_TRUE(VoiceActivityRule::fires(pattern(32000, [](std::size_t i) { return i < 16000; })));
    EXPECT_FALSE(VoiceActivityRule::fires(pattern(32000, [](std::size_t i) { return i >= 16000; })));

    // The two seconds must hold a level sum above 500: 16000 × 2^-5 is exactly 500.
    std::vector<float> faint(32000, 0.0f);
    std::fill(faint.begin(), faint.begin() + 16000, 0.03125f);
    EXPECT_EQ(VoiceActivityRule::levelStats(faint).sum, 500.0f);
    EXPECT_FALSE(VoiceActivityRule::fires(faint));
    std::fill(faint.begin(), faint.begin() + 16000, 0.0313f);
    EXPECT_TRUE(VoiceActivityRule::fires(faint));

    faint[20000] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(VoiceActivityRule::fires(faint));
}

class HeartbeatTest : public capturetest::RecorderFixture {
protected:
    std::mutex chunksMutex;
    std::vector<std::vector<float>> chunks;

    void SetUp() override {
        recorder.setOnVoiceDetected([this](std::vector<float> chunk) {
            std::lock_guard lock(chunksMutex);
            chunks.push_back(std::move(chunk));
            return std::string("ignored");
        });
        recorder.startRecording();
    }

    void append(std::span<const float> samples) {
        const CaptureFormat mono{CaptureFormat::SampleType::float32, 16000.0, 1};
        backend->deliver(CapturedBuffer{mono, std::int64_t(samples.size()),
                                        {reinterpret_cast<const unsigned char*>(samples.data()),
                                         samples.size() * sizeof(float)}});
    }

    std::vector<std::vector<float>> takenChunks() {
        std::lock_guard lock(chunksMutex);
        return chunks;
    }
};

TEST_F(HeartbeatTest, NeedsThirtyTwoThousandNewSamplesAndHandsOverAllOfThem) {
    const auto samples = pattern(32001, [](std::size_t i) { return i <= 16000; });
    append(std::span(samples).first(32000));  // 31999 after the sample at the run index
    recorder.heartbeat();
    EXPECT_TRUE(takenChunks().empty());
    EXPECT_EQ(recorder.lastRealtimeRunIndex(), 0u);

    append(std::span(samples).last(1));
    recorder.heartbeat();
    ASSERT_EQ(takenChunks().size(), 1u);
    EXPECT_EQ(takenChunks()[0], std::vector<float>(samples.begin() + 1, samples.end()));  // sample 0 counts as sent
    EXPECT_EQ(recorder.lastRealtimeRunIndex(), 32000u);

    recorder.heartbeat();  // nothing new since
    EXPECT_EQ(takenChunks().size(), 1u);
}

TEST_F(HeartbeatTest, AChunkCoversEverySampleSinceThePreviousOne) {
    // Speech in the odd seconds: pauses end at 48000 and at 80000.
    const auto samples = pattern(80000, [](std::size_t i) { return (i / 16000) % 2 == 1; });
    append(std::span(samples).first(48000));
    recorder.heartbeat();
    ASSERT_EQ(takenChunks().size(), 1u);
    EXPECT_EQ(takenChunks()[0].size(), 47999u);
    EXPECT_EQ(recorder.lastRealtimeRunIndex(), 47999u);

    append(std::span(samples).subspan(48000, 31999));
    recorder.heartbeat();
    EXPECT_EQ(takenChunks().size(), 1u);
    append(std::span(samples).last(1));
    recorder.heartbeat();
    ASSERT_EQ(takenChunks().size(), 2u);
    EXPECT_EQ(takenChunks()[1], std::vector<float>(samples.begin() + 48000, samples.end()));
}

TEST_F(HeartbeatTest, ChunkAtFortyThousandHoldsSamplesOneToTheLast) {
    auto samples = pattern(40000, [](std::size_t i) { return i < 24000; });
    samples[1] = 0.25f;
    append(samples);
    recorder.heartbeat();
    ASSERT_EQ(takenChunks().size(), 1u);
    EXPECT_EQ(takenChunks()[0].size(), 39999u);
    EXPECT_EQ(takenChunks()[0].front(), 0.25f);
}

TEST_F(HeartbeatTest, AThrowingHandlerIsLoggedNotFatal) {
    recorder.setOnVoiceDetected([](std::vector<float>) -> std::string { throw std::runtime_error("busy"); });
    capturetest::CapturedLog log;
    append(pattern(40000, [](std::size_t i) { return i < 24000; }));
    recorder.heartbeat();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Realtime transcription failed: busy"});
    EXPECT_EQ(recorder.lastRealtimeRunIndex(), 39999u);
}

// Heartbeats from the sample path and from other threads race with the appends; every sample after sample 0 up
// to the run index is handed over exactly once, in contiguous chunks.
TEST_F(HeartbeatTest, ConcurrentHeartbeatsNeverHandOverASampleTwice) {
    settings.setBool("realtimeResultsEnabled", true);
    recorder.setOnVoiceDetected([this](std::vector<float> chunk) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));  // keep several in flight
        std::lock_guard lock(chunksMutex);
        chunks.push_back(std::move(chunk));
        return std::string();
    });
    // Unique values: speech 2.5 s, pause 1.5 s, repeated; the pause holds faint, distinct values.
    const std::size_t total = 16000 * 16;
    std::vector<float> samples(total);
    for (std::size_t i = 0; i < total; ++i) {
        const bool speech = (i % 64000) < 40000;
        const float sign = (i % 2) ? -1.0f : 1.0f;
        samples[i] = speech ? sign * (0.1f + float(i) * 1e-6f) : float(i + 1) * 1e-9f;
    }
    std::atomic<bool> feeding{true};
    std::vector<std::thread> racers;
    for (int t = 0; t < 3; ++t) {
        racers.emplace_back([&] {
            while (feeding) recorder.heartbeat();
        });
    }
    for (std::size_t first = 0; first < total; first += 1600) {
        clock += 101;  // every buffer starts a heartbeat task
        append(std::span(samples).subspan(first, 1600));
    }
    feeding = false;
    for (auto& t : racers) t.join();
    recorder.heartbeat();  // the recording ends in a pause: whatever is left of it goes now, if enough
    ownedRecorder.reset();  // waits for the heartbeat tasks

    std::unordered_map<float, std::size_t> indexOf;
    for (std::size_t i = 0; i < total; ++i) indexOf.emplace(samples[i], i);
    ASSERT_EQ(indexOf.size(), total);
    std::vector<std::pair<std::size_t, std::size_t>> ranges;  // first index, count
    for (const auto& chunk : takenChunks()) {
        ASSERT_FALSE(chunk.empty());
        const std::size_t first = indexOf.at(chunk.front());
        ASSERT_TRUE(std::equal(chunk.begin(), chunk.end(), samples.begin() + std::ptrdiff_t(first)));
        ranges.emplace_back(first, chunk.size());
    }
    // How many pauses a heartbeat catches depends on timing; their chunks must tile the recording from sample 1.
    ASSERT_GE(ranges.size(), 1u);
    std::sort(ranges.begin(), ranges.end());
    std::size_t expectedFirst = 1;
    for (const auto& [first, count] : ranges) {
        EXPECT_EQ(first, expectedFirst);
        EXPECT_GE(count, 32000u);
        expectedFirst = first + count;
    }
}

}  // namespace
