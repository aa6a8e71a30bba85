#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <numbers>
#include <thread>

#include "engine/Recorder.h"
#include "engine/RecorderError.h"
#include "platform/PulseCaptureBackend.h"
#include "platform/SettingsStore.h"
#include "support/HostProgram.h"
#include "support/PidsCgroup.h"
#include "support/PrivateSoundServer.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"
#include "SyntheticAudio.h"

namespace {

using Clock = std::chrono::steady_clock;

// Writes samples into a pipe source at the pace of real time, in 10 ms blocks of the source's format.
class PipeFeeder {
public:
    PipeFeeder(const std::string& fifo, std::vector<float> samples,
               CaptureFormat format = {CaptureFormat::SampleType::int16, 16000.0, 1})
        : samples_(std::move(samples)), format_(format) {
        fd_ = ::open(fifo.c_str(), O_WRONLY);
        thread_ = std::thread([this] { run(); });
    }
    ~PipeFeeder() {
        thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    bool opened() const { return fd_ >= 0; }

private:
    void run() {
        const auto block = std::int64_t(format_.sampleRate / 100);
        auto next = Clock::now();
        for (std::int64_t first = 0; fd_ >= 0 && first < std::int64_t(samples_.size()); first += block) {
            const auto bytes = capturetest::encode(format_, first, block, [this](std::int64_t i, int) {
                return i < std::int64_t(samples_.size()) ? double(samples_[std::size_t(i)]) : 0.0;
            });
            if (::write(fd_, bytes.bytes.data(), bytes.bytes.size()) != ssize_t(bytes.bytes.size())) return;
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
    }

    std::vector<float> samples_;
    CaptureFormat format_;
    int fd_ = -1;
    std::thread thread_;
};

// A pipe source of its own, loaded into the test's sound server for the test's duration.
class PipeSourceModule {
public:
    PipeSourceModule(const std::string& name, const std::string& fifo, const std::string& format) : fifo_(fifo) {
        const std::string load = vctest::hostProgram("pactl") + " load-module module-pipe-source source_name=" + name + " file=" + fifo + " " +
                                 format;
        if (FILE* out = ::popen(load.c_str(), "r")) {
            char text[32] = {};
            if (std::fgets(text, sizeof text, out)) index_ = std::string(text, std::strcspn(text, "\n"));
            if (::pclose(out) != 0) index_.clear();
        }
    }
    ~PipeSourceModule() { unload(); }
    bool loaded() const { return !index_.empty(); }
    bool unload() {
        if (index_.empty()) return true;
        const bool ok = std::system((vctest::hostProgram("pactl") + " unload-module " + index_).c_str()) == 0;
        index_.clear();
        return ok;
    }

private:
    std::string fifo_;
    std::string index_;
};

using vctest::waitFor;

class RecorderCaptureAudioTest : public testing::Test {
protected:
    void SetUp() override {
        const char* server = std::getenv("PULSE_SERVER");
        const char* pipe = std::getenv("VC_PULSE_PIPE");
        ASSERT_TRUE(server && pipe) << "the audio layer needs the PulseAudio host of scripts/test";
        fifo = pipe;
        settings.setBool("useDefaultAudioDevice", false);
        settings.setString("selectedDeviceID", "vc_mic");
    }

    void stop() {
        recorder.captureSession()->stopRunning();
        recorder.setCaptureSession(nullptr);
    }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster" / "settings.json"};
    Recorder recorder{std::make_shared<PulseCaptureBackend>(), settings, [] {
                          return std::uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   Clock::now().time_since_epoch())
                                                   .count());
                      }};
    std::string fifo;
};

// 0.5 s of silence, a 2.5 s sweep from 200 Hz to 3 kHz, then a pause of 1.5 s.
std::vector<float> sweepWithPause(double rate = 16000.0) {
    std::vector<float> samples(std::size_t(rate * 4.5), 0.0f);
    const auto lead = std::size_t(rate * 0.5), length = std::size_t(rate * 2.5);
    for (std::size_t i = 0; i < length; ++i) {
        // The same continuous sweep at every rate: frequency 200 + 1120 t Hz.
        const double t = double(i) / rate;
        samples[lead + i] = float(0.5 * std::sin(2.0 * std::numbers::pi * (200.0 * t + 560.0 * t * t)));
    }
    return samples;
}

TEST_F(RecorderCaptureAudioTest, CapturesThePipeSourceByIdAndCutsAChunkAtThePause) {
    settings.setBool("realtimeResultsEnabled", true);
    std::mutex mutex;
    std::vector<std::vector<float>> chunks;
    recorder.setOnVoiceDetected([&](std::vector<float> chunk) {
        std::lock_guard lock(mutex);
        chunks.push_back(std::move(chunk));
        return std::string();
    });
    const std::vector<float> signal = sweepWithPause();

    const auto started = Clock::now();
    recorder.startRecording();
    std::unique_ptr<PipeFeeder> feeder = std::make_unique<PipeFeeder>(fifo, signal);
    ASSERT_TRUE(feeder->opened());
    waitFor([&] { return !recorder.rawFloatData().empty(); }, 2000);
    const auto firstSample = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    std::cout << "start to first captured sample: " << firstSample << " ms\n";
    // This pipe hands over blocks of 4096 bytes, 128 ms at 16 kHz s16 mono: the backend's own delay shows on the
    // wide source below. The time is printed as a measurement; that nothing of the start is lost is the length check.

    feeder.reset();  // the whole signal is written
    waitFor([&] { return recorder.rawFloatData().size() >= signal.size(); }, 1000);
    stop();

    const std::vector<float> captured = recorder.rawFloatData();
    EXPECT_NEAR(double(captured.size()), double(signal.size()), 800.0);  // within 50 ms
    int lag = 0;
    const std::vector<float> sweep(signal.begin() + 8000, signal.begin() + 48000);
    std::vector<float> capturedFromSweep(captured.begin() + std::min<std::size_t>(captured.size(), 6400),
                                         captured.end());
    const double correlation = capturetest::bestCorrelation(capturedFromSweep, sweep, 3200, &lag);
    std::cout << "captured " << captured.size() << " of " << signal.size() << " samples, correlation "
              << correlation << "\n";
    EXPECT_GT(correlation, 0.95);

    std::lock_guard lock(mutex);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_GE(chunks[0].size(), 48000u - 1u);  // everything up to the end of the sweep, cut in the pause
    EXPECT_EQ(recorder.lastRealtimeRunIndex(), chunks[0].size());
}

// A source of 48 kHz stereo float is converted to the same 16 kHz signal.
TEST_F(RecorderCaptureAudioTest, ConvertsAWideSourceToSixteenKilohertzMono) {
    PipeSourceModule source("vc_wide", home.path() / "wide.fifo", "format=float32le rate=48000 channels=2");
    ASSERT_TRUE(source.loaded());
    settings.setString("selectedDeviceID", "vc_wide");

    const auto started = Clock::now();
    recorder.startRecording();
    {
        PipeFeeder feeder(home.path() / "wide.fifo", sweepWithPause(48000.0),
                          {CaptureFormat::SampleType::float32, 48000.0, 2});
        waitFor([&] { return !recorder.rawFloatData().empty(); }, 2000);
        const auto firstSample =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
        std::cout << "start to first captured sample (48 kHz stereo source): " << firstSample << " ms\n";
    }
    const std::vector<float> signal = sweepWithPause();
    waitFor([&] { return recorder.rawFloatData().size() >= signal.size() - 160; }, 1000);
    stop();

    const std::vector<float> captured = recorder.rawFloatData();
    EXPECT_NEAR(double(captured.size()), double(signal.size()), 800.0);
    const std::vector<float> sweep(signal.begin() + 8000, signal.begin() + 48000);
    std::vector<float> capturedFromSweep(captured.begin() + std::min<std::size_t>(captured.size(), 6400),
                                         captured.end());
    const double correlation = capturetest::bestCorrelation(capturedFromSweep, sweep, 3200);
    std::cout << "captured " << captured.size() << " of " << signal.size() << " samples, correlation "
              << correlation << "\n";
    EXPECT_GT(correlation, 0.95);
}

TEST_F(RecorderCaptureAudioTest, AnUnknownDeviceIdIsNotFound) {
    settings.setString("selectedDeviceID", "no-such-device");
    try {
        recorder.startRecording();
        FAIL() << "started";
    } catch (const RecorderError& e) {
        EXPECT_EQ(e.errorCase(), RecorderError::Case::couldNotFindAudioDevice);
        EXPECT_EQ(e.deviceID(), "no-such-device");
    }
    EXPECT_EQ(recorder.captureSession(), nullptr);
}

// A source that goes away mid-recording ends capture with an error and leaves the samples.
TEST_F(RecorderCaptureAudioTest, ADeviceThatDisappearsIsReported) {
    PipeSourceModule source("vc_gone", home.path() / "gone.fifo", "format=s16le rate=16000 channels=1");
    ASSERT_TRUE(source.loaded());

    settings.setString("selectedDeviceID", "vc_gone");
    std::vector<QString> failures;
    QObject::connect(&recorder, &Recorder::captureFailed, [&](const QString& text) { failures.push_back(text); });
    recorder.startRecording();
    {
        PipeFeeder feeder(home.path() / "gone.fifo", std::vector<float>(3200, 0.25f));
    }
    waitFor([&] { return recorder.rawFloatData().size() >= 3200; }, 2000);
    ASSERT_TRUE(source.unload());
    waitFor([&] { return !failures.empty(); }, 3000);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].toStdString(),
              RecorderError(RecorderError::Case::audioDeviceNotAvailable).errorDescription());
    EXPECT_GE(recorder.rawFloatData().size(), 3200u);
    recorder.setCaptureSession(nullptr);
}

// Every start opens the capture afresh. A sound server that goes away during a recording, or is not there (or does
// not answer) at a start, is told as out of reach rather than as a fault of the device; once it is back, the next
// start records.
TEST_F(RecorderCaptureAudioTest, ASoundServerOutOfReachIsToldAsSuchAndRecordingWorksOnceItIsBack) {
    vctest::PrivateSoundServer server(home.path() / "sound-server");
    const std::string sharedServer = std::getenv("PULSE_SERVER");
    ::setenv("PULSE_SERVER", server.address().c_str(), 1);
    settings.setString("selectedDeviceID", "vc_restart");
    const auto answers = [] { return PulseCaptureBackend().device("vc_restart").device.has_value(); };
    const auto recordQuarterSecond = [&] {
        recorder.startRecording();
        {
            PipeFeeder feeder(server.fifo(), std::vector<float>(4000, 0.25f));
        }
        waitFor([&] { return recorder.rawFloatData().size() >= 4000; }, 2000);
        EXPECT_GE(recorder.rawFloatData().size(), 4000u);
    };
    const auto startFailure = [&] {
        try {
            recorder.startRecording();
        } catch (const RecorderError& e) {
            EXPECT_EQ(recorder.captureSession(), nullptr);
            return e.errorDescription();
        }
        stop();
        return std::string("started");
    };
    const std::string unreachable = "The sound server cannot be reached.";
    std::vector<QString> failures;
    QObject::connect(&recorder, &Recorder::captureFailed, [&](const QString& text) { failures.push_back(text); });

    server.start();
    waitFor(answers, 10000);
    recordQuarterSecond();
    server.stop();
    waitFor([&] { return !failures.empty(); }, 5000);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].toStdString().rfind(unreachable, 0), 0u) << failures[0].toStdString();
    stop();

    const std::string stopped = startFailure();
    EXPECT_EQ(stopped.rfind(unreachable, 0), 0u) << stopped;

    server.start();
    waitFor(answers, 10000);
    server.suspend();
    const std::string hanging = startFailure();
    EXPECT_EQ(hanging.rfind(unreachable, 0), 0u) << hanging;
    server.resume();

    recordQuarterSecond();
    stop();
    EXPECT_EQ(failures.size(), 1u);
    ::setenv("PULSE_SERVER", sharedServer.c_str(), 1);
}

// A thread the system refuses is told as such, not as a sound server out of reach (which runs): the one the question
// about the device needs to open the shared connection, and the one of the capture's own connection.
TEST_F(RecorderCaptureAudioTest, AThreadTheSystemRefusesIsToldAsSuchNotAsAnUnreachableServer) {
    vctest::PidsCgroup tasks("vellumcaster-capture-" + std::to_string(::getpid()));
    ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
    ASSERT_TRUE(tasks.add(::getpid()));
    const auto startFailure = [&] {
        std::string text = "started";
        if (!tasks.limit(tasks.current())) return std::string("no limit");
        try {
            recorder.startRecording();
            stop();
        } catch (const RecorderError& e) {
            text = e.errorDescription();
        }
        tasks.limit(-1);
        return text;
    };
    const std::string refused = "The system has no thread to spare for Vellumcaster right now, so the recording could "
                                "not start. Try again in a moment, or close other programs.";
    EXPECT_EQ(startFailure(), refused);  // no connection is open yet for the question
    ASSERT_TRUE(PulseCaptureBackend().device("vc_mic").device.has_value());
    EXPECT_EQ(startFailure(), refused);  // the question's connection is open: the capture's thread is refused
    EXPECT_GE(tasks.refusals(), 2);
}

}  // namespace
