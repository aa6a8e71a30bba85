#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

#include "engine/Recorder.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"
#include "CapturedLog.h"
#include "FakeCaptureBackend.h"
#include "RecorderFixture.h"
#include "SyntheticAudio.h"

using capturetest::CapturedLog;
using capturetest::FakeCaptureBackend;
using capturetest::OwnedBuffer;
using Type = CaptureFormat::SampleType;

namespace {

class RecorderSamplesTest : public capturetest::RecorderFixture {
protected:

    void SetUp() override { recorder.startRecording(); }

    // Feeds `seconds` of value(frame, channel) in buffers of 10 ms.
    void feed(const CaptureFormat& format, double seconds,
              const std::function<double(std::int64_t, int)>& value) {
        const auto total = std::int64_t(format.sampleRate * seconds);
        const auto per = std::int64_t(format.sampleRate / 100);
        for (std::int64_t first = 0; first < total; first += per) {
            backend->deliver(capturetest::encode(format, first, std::min(per, total - first), value).buffer());
        }
    }
};

struct FormatCase {
    Type type;
    double rate;
    int channels;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << int(c.type) << "/" << c.rate << "/" << c.channels;
}

class RecorderFormatTest : public RecorderSamplesTest, public testing::WithParamInterface<FormatCase> {};

// Every format a device may offer ends up as the same 16 kHz tone, whole and without gaps.
TEST_P(RecorderFormatTest, ConvertsToSixteenKilohertzMono) {
    const FormatCase c = GetParam();
    const CaptureFormat format{c.type, c.rate, c.channels};
    feed(format, 1.0, [&](std::int64_t i, int) { return capturetest::sine(440.0, c.rate, i); });

    const std::vector<float> samples = recorder.rawFloatData();
    // The band-limiting filter holds back a few milliseconds at most (6 ms from 8 kHz).
    EXPECT_LE(samples.size(), 16000u);
    EXPECT_GE(samples.size(), 16000u - 120u);

    std::vector<float> reference(15000);
    for (std::size_t i = 0; i < reference.size(); ++i) reference[i] = float(capturetest::sine(440.0, 16000.0, std::int64_t(i)));
    EXPECT_GT(capturetest::bestCorrelation(samples, reference, 80), 0.995);

    double energy = 0;
    for (std::size_t i = 2000; i < 14000; ++i) energy += double(samples[i]) * samples[i];
    EXPECT_NEAR(std::sqrt(energy / 12000.0), 0.5 / std::sqrt(2.0), 0.005);
}

std::vector<FormatCase> allFormats() {
    std::vector<FormatCase> cases;
    for (Type type : {Type::int16, Type::int32, Type::float32, Type::float64}) {
        for (double rate : {8000.0, 16000.0, 44100.0, 48000.0}) {
            for (int channels : {1, 2}) cases.push_back({type, rate, channels});
        }
    }
    return cases;
}

std::string formatName(const testing::TestParamInfo<FormatCase>& info) {
    static const char* const names[] = {"unknown", "int16", "int32", "float32", "float64"};
    return std::string(names[int(info.param.type)]) + "_" + std::to_string(int(info.param.rate)) + "_" +
           std::to_string(info.param.channels) + "ch";
}

INSTANTIATE_TEST_SUITE_P(Devices, RecorderFormatTest, testing::ValuesIn(allFormats()), formatName);

TEST_F(RecorderSamplesTest, ChannelsAreMixedToTheirMean) {
    const CaptureFormat stereo{Type::float32, 16000.0, 2};
    feed(stereo, 0.1, [](std::int64_t i, int channel) {
        return channel == 0 ? capturetest::sine(300.0, 16000.0, i) : 0.0;
    });
    const std::vector<float> samples = recorder.rawFloatData();
    ASSERT_EQ(samples.size(), 1600u);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_NEAR(samples[i], 0.5 * capturetest::sine(300.0, 16000.0, std::int64_t(i)), 1e-6);
    }
}

TEST_F(RecorderSamplesTest, SixteenKilohertzFloatPassesUnchanged) {
    const CaptureFormat mono{Type::float32, 16000.0, 1};
    OwnedBuffer b = capturetest::encode(mono, 0, 3, [](std::int64_t i, int) { return i == 1 ? 1.5 : -0.25; });
    backend->deliver(b.buffer());
    EXPECT_EQ(recorder.rawFloatData(), (std::vector<float>{-0.25f, 1.5f, -0.25f}));  // nothing clamps in memory
}

TEST_F(RecorderSamplesTest, UnreadableBuffersAreDroppedWithTheirLogLine) {
    CapturedLog log;
    const CaptureFormat mono{Type::int16, 16000.0, 1};
    OwnedBuffer good = capturetest::encode(mono, 0, 4, [](std::int64_t, int) { return 0.5; });

    OwnedBuffer unknown = good;
    unknown.format.sampleType = Type::unknown;
    OwnedBuffer noChannels = good;
    noChannels.format.channelCount = 0;
    OwnedBuffer noRate = good;
    noRate.format.sampleRate = std::numeric_limits<double>::quiet_NaN();
    OwnedBuffer negative = good;
    negative.frameCount = -1;
    OwnedBuffer huge = good;
    huge.frameCount = std::int64_t(std::numeric_limits<std::uint32_t>::max()) + 1;
    for (const OwnedBuffer* b : {&unknown, &noChannels, &noRate, &negative, &huge}) backend->deliver(b->buffer());
    backend->deliver(CapturedBuffer{mono, 4, {}});  // no data block

    EXPECT_EQ(log.lines(), std::vector<std::string>(6, "Could not convert to PCMBuffer"));
    EXPECT_TRUE(recorder.rawFloatData().empty());

    backend->deliver(good.buffer());  // the stream goes on after dropped buffers
    EXPECT_EQ(recorder.rawFloatData().size(), 4u);
}

TEST_F(RecorderSamplesTest, TheFrameCountBoundsTheCopy) {
    const CaptureFormat mono{Type::float32, 16000.0, 1};
    OwnedBuffer b = capturetest::encode(mono, 0, 4, [](std::int64_t i, int) { return 0.1 * double(i + 1); });
    b.frameCount = 2;  // a block longer than its frames is cut
    backend->deliver(b.buffer());
    b.frameCount = 6;  // a block shorter than its frames leaves silence, never reads beyond the block
    backend->deliver(b.buffer());
    EXPECT_EQ(recorder.rawFloatData(), (std::vector<float>{0.1f, 0.2f, 0.1f, 0.2f, 0.3f, 0.4f, 0.0f, 0.0f}));
}

TEST_F(RecorderSamplesTest, LevelsOfEachBufferArePublishedOnTheGuiThread) {
    std::vector<QList<int>> published;
    bool onGuiThread = true;
    QObject::connect(&recorder, &Recorder::reducedSamplesChanged, [&] {
        onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        published.push_back(recorder.reducedSamples());
    });
    const CaptureFormat mono{Type::float32, 16000.0, 1};
    std::thread audio([&] {
        backend->deliver(capturetest::encode(mono, 0, 341, [](std::int64_t, int) { return -0.5; }).buffer());
        backend->deliver(capturetest::encode(mono, 0, 100, [](std::int64_t, int) { return 0.5; }).buffer());
    });
    audio.join();
    EXPECT_TRUE(recorder.reducedSamples().isEmpty());  // nothing lands before the GUI thread runs
    vctest::waitFor([&] { return published.size() == 2; }, 2000);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_TRUE(onGuiThread);
    EXPECT_GE(published[0].size(), 100);
    EXPECT_LE(published[0].size(), 101);
    EXPECT_EQ(published[0].front(), 50);
    EXPECT_TRUE(published[1].isEmpty());  // 100 samples or fewer give no levels
}

TEST_F(RecorderSamplesTest, HeartbeatsStartMoreThanOneHundredMillisecondsApartOnlyInRealtimeMode) {
    const CaptureFormat mono{Type::float32, 16000.0, 1};
    const auto buffer = capturetest::encode(mono, 0, 160, [](std::int64_t, int) { return 0.0; });

    clock = 2000;
    backend->deliver(buffer.buffer());
    EXPECT_EQ(recorder.lastHeartbeat(), 1000u);  // realtime off: buffers leave it alone

    settings.setBool("realtimeResultsEnabled", true);
    clock = 1100;
    backend->deliver(buffer.buffer());
    EXPECT_EQ(recorder.lastHeartbeat(), 1000u);
    clock = 1101;
    backend->deliver(buffer.buffer());
    EXPECT_EQ(recorder.lastHeartbeat(), 1101u);
    clock = 1150;
    backend->deliver(buffer.buffer());
    EXPECT_EQ(recorder.lastHeartbeat(), 1101u);
}

}  // namespace
