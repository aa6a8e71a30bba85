#include "ui/RecordingPlayback.h"
#include "ui/RecordingWaveform.h"
#include "ui/RecordingWaveformView.h"
#include "ui/WaveformFold.h"

#include "engine/CapturedLog.h"
#include "platform/OutputWriter.h"
#include "support/Fifo.h"
#include "support/TempHome.h"
#include "ui/history_support.h"

#include <gtest/gtest.h>

#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <span>
#include <fstream>

using historytest::FakeSounds;
using historytest::FakeTimers;

namespace {

// A tone whose loudness rises over the file, so that no chunk is silent.
std::vector<float> ramp(std::size_t n) {
    std::vector<float> samples(n);
    for (std::size_t i = 0; i < n; ++i) samples[i] = 0.9f * static_cast<float>(i + 1) / static_cast<float>(n);
    return samples;
}

}  // namespace

TEST(Waveform, ChunksGiveSeventyFiveOrMoreBarsWithTheLastOneAtZero) {
    // 15,000 samples: chunk 200, 75 bars. 16,000: chunk 213, 76 bars. 100: chunk 1, 100 bars; 224: chunk 2, 112 bars.
    for (const auto& [n, bars] : std::vector<std::pair<std::size_t, std::size_t>>{
             {15000, 75}, {16000, 76}, {100, 100}, {224, 112}, {76, 76}}) {
        const std::vector<int> heights = RecordingWaveform::waveHeights(ramp(n));
        ASSERT_EQ(heights.size(), bars) << n;
        EXPECT_EQ(heights.back(), 2) << n;  // the forced zero, drawn at the minimum height
        EXPECT_EQ(*std::max_element(heights.begin(), heights.end()), 25) << n;
    }
}

TEST(Waveform, ChunkTakesTheNextChunksFirstSampleAndTheSignedMaximum) {
    // 76 samples: chunk 1, so bar i is the larger of samples i and i + 1.
    std::vector<float> samples(76, 0.0f);
    samples[10] = 1.0f;
    const std::vector<int> heights = RecordingWaveform::waveHeights(samples);
    EXPECT_EQ(heights[9], 25);
    EXPECT_EQ(heights[10], 25);
    EXPECT_EQ(heights[11], 2);

    // All negative: the value nearest to zero wins, not the loudest; a range reaching past the end gives 0.
    WaveformFold fold(3, 2);
    fold.add(std::vector<float>{-0.5f, -0.2f, -0.9f});
    EXPECT_EQ(fold.values(), (std::vector<float>{-0.2f, -0.2f, 0.0f}));
}

// The bar values as the rule states them, over the whole array at once.
static std::vector<float> referenceValues(const std::vector<float>& samples) {
    const auto n = static_cast<std::int64_t>(samples.size());
    if (n <= 75) return samples;
    const std::int64_t chunk = n / 75;
    std::vector<float> values;
    for (std::int64_t start = 0; start < n; start += chunk) {
        const std::int64_t end = start + chunk;
        values.push_back(end < n ? *std::max_element(samples.begin() + start, samples.begin() + end + 1) : 0.0f);
    }
    return values;
}

TEST(Waveform, FoldingBlockByBlockGivesTheValuesOfTheWholeArray) {
    std::uint32_t seed = 7;
    for (const std::size_t n : {std::size_t(0), std::size_t(1), std::size_t(75), std::size_t(76), std::size_t(224),
                                std::size_t(15000), std::size_t(16001)}) {
        std::vector<float> samples(n);
        for (float& v : samples) v = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f;
        for (const std::size_t block : {std::size_t(1), std::size_t(7), std::size_t(4096)}) {
            WaveformFold fold(n, RecordingWaveform::wavSegments);
            for (std::size_t at = 0; at < n; at += block)
                fold.add(std::span(samples).subspan(at, std::min(block, n - at)));
            EXPECT_EQ(fold.values(), referenceValues(samples)) << n << " in blocks of " << block;
        }
    }
}

TEST(Waveform, AFileIsReadInBlocksToTheSameBars) {
    vctest::TempHome home;
    const std::vector<float> samples = ramp(100'003);  // more than one block of the reader
    writeWavFile(samples, home.path() / "output.wav", 16000);
    EXPECT_EQ(RecordingWaveform::loadWaveform(home.path() / "output.wav"),
              RecordingWaveform::waveHeights(readWavSamples(home.path() / "output.wav")));
    std::atomic<bool> cancelled{true};
    EXPECT_TRUE(RecordingWaveform::loadWaveform(home.path() / "output.wav", &cancelled).empty());
}

TEST(Waveform, AFifoInTheAudioFilesPlaceIsRefusedWithoutWaiting) {
    vctest::TempHome home;
    capturetest::CapturedLog log;
    const vctest::Fifo fifo(home.path() / "output.wav");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(fifo.returnsWithin([&] { EXPECT_TRUE(RecordingWaveform::loadWaveform(fifo.path()).empty()); }));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Error reading the audio file: ", 0), 0u);
}

TEST(Waveform, ShortFilesShowOneBarPerSampleWithoutAForcedZero) {
    const std::vector<int> heights = RecordingWaveform::waveHeights({0.5f, -1.0f, 0.0f, 0.75f});
    EXPECT_EQ(heights, (std::vector<int>{13, 25, 2, 19}));  // 2 + 23 * 0.75 = 19.25
    EXPECT_EQ(RecordingWaveform::waveHeights(ramp(75)).size(), 75u);
    EXPECT_EQ(RecordingWaveform::waveHeights(ramp(75)).back(), 25);
    EXPECT_TRUE(RecordingWaveform::waveHeights({}).empty());
}

TEST(Waveform, SilenceGivesBarsOfHeightZero) {
    EXPECT_EQ(RecordingWaveform::waveHeights(std::vector<float>(16000, 0.0f)), std::vector<int>(76, 0));
    EXPECT_EQ(RecordingWaveform::scaledWaveHeight(0.0f, 0.0f, 0.0f), 0);
    EXPECT_EQ(RecordingWaveform::scaledWaveHeight(0.5f, 0.0f, 1.0f), 13);
}

TEST(Waveform, CurrentBarFollowsWholeSecondsOfTheLength) {
    // 3,700 ms over 76 bars: 3 s / 76 per bar; the mark reaches the last bar before 3 s and then leaves the row.
    const double spb = RecordingWaveform::secondsPerBar(3700, 76);
    EXPECT_DOUBLE_EQ(spb, 3.0 / 76.0);
    EXPECT_EQ(RecordingWaveform::currentBar(0.0, spb, 76), 0u);
    EXPECT_EQ(RecordingWaveform::currentBar(2.97, spb, 76), 75u);
    EXPECT_EQ(RecordingWaveform::currentBar(3.0, spb, 76), std::nullopt);
    EXPECT_EQ(RecordingWaveform::currentBar(3.6, spb, 76), std::nullopt);
    // Under one second nothing is ever marked; no bars, no division by zero.
    EXPECT_EQ(RecordingWaveform::currentBar(0.0, RecordingWaveform::secondsPerBar(999, 76), 76), std::nullopt);
    EXPECT_EQ(RecordingWaveform::secondsPerBar(5000, 0), 0.0);
}

TEST(Waveform, ViewDrawsTheCurrentBarHigherAndFainter) {
    RecordingWaveformView view;
    view.setWaveHeights({10, 20, 2});
    view.setDuration(3000);  // one second per bar
    view.setPlaybackTime(1.5);
    EXPECT_EQ(view.currentBar(), 1u);
    EXPECT_DOUBLE_EQ(view.barHeight(1), 25.0);
    EXPECT_DOUBLE_EQ(view.barOpacity(1), 0.25);
    EXPECT_DOUBLE_EQ(view.barHeight(0), 10.0);
    EXPECT_DOUBLE_EQ(view.barOpacity(0), 0.75);
    EXPECT_EQ(view.sizeHint(), QSize(3 * 2 + 2 * 1, 30));
}

TEST(Waveform, UnreadableFileIsPrintedLoggedAndGivesNoBars) {
    vctest::TempHome home;
    capturetest::CapturedLog log;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(RecordingWaveform::loadWaveform(home.path() / "missing.wav").empty());
    OutputWriter::flush(std::chrono::seconds(10));
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Error reading the audio file: ", 0), 0u);
    EXPECT_EQ(printed, log.lines()[0] + "\n");

    // A header and one odd byte hold no sample: no bars and no message.
    std::ofstream(home.path() / "short.wav", std::ios::binary) << std::string(45, 'x');
    EXPECT_TRUE(RecordingWaveform::loadWaveform(home.path() / "short.wav").empty());
    EXPECT_EQ(log.lines().size(), 1u);
}

class Playback : public testing::Test {
protected:
    void SetUp() override {
        file = home.path() / "output.wav";
        writeWavFile(ramp(1600), file, 16000);
    }

    vctest::TempHome home;
    std::filesystem::path file;
    FakeSounds sounds;
    FakeTimers timers;
    RecordingPlayback playback{sounds.factory(), timers.factory()};
};

TEST_F(Playback, MissingFileIsLoggedAndChangesNothing) {
    capturetest::CapturedLog log;
    const auto missing = home.path() / "gone" / "output.wav";
    playback.togglePlayback(missing);
    const std::string url = QUrl::fromLocalFile(QString::fromStdString(missing.string())).toString().toStdString();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Unable to find recording file at " + url + "."});
    EXPECT_FALSE(playback.playbackActive());
    EXPECT_EQ(sounds.made, 0);
    EXPECT_FALSE(playback.timerActive());
}

TEST_F(Playback, SpecialFilesAreNotHandedToThePlayer) {
    capturetest::CapturedLog log;
    std::filesystem::remove(file);
    std::filesystem::create_symlink("/dev/zero", file);
    playback.togglePlayback(file);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Unable to play recording file " + file.string() +
                                                    ": Not a regular file"});
    EXPECT_FALSE(playback.playbackActive());
    EXPECT_EQ(sounds.made, 0);
}

TEST_F(Playback, PlaysAtFullVolumeAndFollowsThePositionTenTimesASecond) {
    playback.togglePlayback(file);
    EXPECT_TRUE(playback.playbackActive());
    EXPECT_EQ(sounds.lastFile, file);
    EXPECT_FLOAT_EQ(sounds.state->volume, 1.0f);
    EXPECT_EQ(sounds.state->plays, 1);
    EXPECT_EQ(timers.interval, std::chrono::milliseconds(100));
    EXPECT_TRUE(playback.timerActive());

    sounds.state->time = 0.3;
    timers.fire();
    EXPECT_DOUBLE_EQ(playback.playbackTime(), 0.3);
    EXPECT_TRUE(playback.playbackActive());
}

TEST_F(Playback, PauseKeepsThePositionAndPlayStartsANewSoundFromTheBeginning) {
    playback.togglePlayback(file);
    sounds.state->time = 0.7;
    timers.fire();
    playback.togglePlayback(file);
    EXPECT_FALSE(playback.playbackActive());
    EXPECT_EQ(sounds.state->pauses, 1);
    EXPECT_FALSE(playback.timerActive());
    EXPECT_DOUBLE_EQ(playback.playbackTime(), 0.7);

    playback.togglePlayback(file);
    EXPECT_EQ(sounds.made, 2);
    EXPECT_DOUBLE_EQ(playback.playbackTime(), 0.0);
    EXPECT_TRUE(playback.playbackActive());
}

TEST_F(Playback, TheSoundsEndEndsThePlayback) {
    playback.togglePlayback(file);
    sounds.state->time = 1.9;
    timers.fire();
    EXPECT_TRUE(playback.playbackActive());
    sounds.state->time = 0.0;  // the finished sound is back at its start
    sounds.state->ended = true;
    timers.fire();
    EXPECT_FALSE(playback.playbackActive());
    EXPECT_DOUBLE_EQ(playback.playbackTime(), 0.0);
    EXPECT_FALSE(playback.timerActive());
}

TEST_F(Playback, FileWithoutSoundStaysPlayingUntilPressed) {
    sounds.yieldsNoSound = true;
    playback.togglePlayback(file);
    EXPECT_TRUE(playback.playbackActive());
    timers.fire();
    EXPECT_TRUE(playback.playbackActive());
    playback.togglePlayback(file);
    EXPECT_FALSE(playback.playbackActive());
}
