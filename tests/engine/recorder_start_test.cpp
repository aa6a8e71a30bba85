#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <memory>

#include "engine/Recorder.h"
#include "engine/RecorderError.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"
#include "CapturedLog.h"
#include "FakeCaptureBackend.h"
#include "RecorderFixture.h"
#include "SyntheticAudio.h"

using capturetest::CapturedLog;
using capturetest::FakeCaptureBackend;
using capturetest::OwnedBuffer;
using Case = RecorderError::Case;

namespace {

OwnedBuffer monoBuffer(std::vector<float> samples) {
    CaptureFormat format{CaptureFormat::SampleType::float32, 16000.0, 1};
    return capturetest::encode(format, 0, std::int64_t(samples.size()),
                               [&](std::int64_t i, int) { return double(samples[std::size_t(i)]); });
}

class RecorderStartTest : public capturetest::RecorderFixture {
protected:
    RecorderStartTest() : RecorderFixture(5000) {}

    // A finished recording of three samples, as the owner leaves it.
    void recordPrevious() {
        recorder.startRecording();
        backend->deliver(monoBuffer({0.1f, 0.2f, 0.3f}).buffer());
        recorder.captureSession()->stopRunning();
        recorder.setCaptureSession(nullptr);
        backend->calls.clear();
    }
};

TEST_F(RecorderStartTest, DefaultDeviceIgnoresTheSelectedIdAndStartsInOrder) {
    settings.setString("selectedDeviceID", "usb-mic");
    recorder.startRecording();
    EXPECT_EQ(backend->calls, (std::vector<std::string>{"makeSession", "defaultDevice", "authorizationStatus",
                                                        "makeInput:default-mic", "addInput", "addOutput",
                                                        "startRunning"}));
    ASSERT_NE(recorder.captureSession(), nullptr);
    EXPECT_TRUE(recorder.captureSession()->isRunning());
    EXPECT_EQ(recorder.audioDataOutput(), backend->lastOutput);
    EXPECT_EQ(recorder.lastHeartbeat(), 5000u);
    EXPECT_EQ(recorder.lastRealtimeRunIndex(), 0u);
}

TEST_F(RecorderStartTest, SelectedDeviceIsUsedWhenTheDefaultIsOff) {
    settings.setBool("useDefaultAudioDevice", false);
    settings.setString("selectedDeviceID", "usb-mic");
    recorder.startRecording();
    EXPECT_EQ(backend->calls.at(1), "device:usb-mic");
    EXPECT_EQ(backend->calls.at(3), "makeInput:usb-mic");
}

TEST_F(RecorderStartTest, PermissionIsRequestedOnlyWhenNotAuthorized) {
    backend->status = CaptureBackend::Authorization::notDetermined;
    recorder.startRecording();
    EXPECT_EQ(backend->calls.at(3), "requestAccess");

    backend->calls.clear();
    backend->status = CaptureBackend::Authorization::authorized;
    recorder.startRecording();
    EXPECT_EQ(std::count(backend->calls.begin(), backend->calls.end(), "requestAccess"), 0);
}

struct StartFailureCase {
    const char* name;
    std::function<void(FakeCaptureBackend&, SettingsStore&)> arrange;
    Case expected;
    std::string logLine;
    std::string description;
    std::string lastCall;
};

class RecorderStartFailureTest : public RecorderStartTest, public testing::WithParamInterface<StartFailureCase> {};

TEST_P(RecorderStartFailureTest, ThrowsLogsAndKeepsThePreviousRecording) {
    const StartFailureCase& c = GetParam();
    recordPrevious();
    const auto previousOutput = recorder.audioDataOutput();
    c.arrange(*backend, settings);
    clock = 9000;
    CapturedLog log;
    try {
        recorder.startRecording();
        FAIL() << "no error";
    } catch (const RecorderError& e) {
        EXPECT_EQ(e.errorCase(), c.expected);
        EXPECT_EQ(e.errorDescription(), c.description);
        EXPECT_STREQ(e.what(), c.description.c_str());
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>{c.logLine});
    EXPECT_EQ(backend->calls.back(), c.lastCall);
    EXPECT_EQ(recorder.rawFloatData(), (std::vector<float>{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(recorder.captureSession(), nullptr);
    EXPECT_EQ(recorder.audioDataOutput(), previousOutput);
    EXPECT_EQ(recorder.lastHeartbeat(), 5000u);
}

const std::string deviceText = ". Please check your device settings and try again.";

INSTANTIATE_TEST_SUITE_P(
    Steps, RecorderStartFailureTest,
    testing::Values(
        StartFailureCase{"missingSelectedDevice",
                         [](FakeCaptureBackend&, SettingsStore& s) {
                             s.setBool("useDefaultAudioDevice", false);
                             s.setString("selectedDeviceID", "gone-mic");
                         },
                         Case::couldNotFindAudioDevice, "Could not find the selected audio device gone-mic",
                         "Could not find the audio device with ID gone-mic" + deviceText, "device:gone-mic"},
        // The default device is wanted: the message still carries the (empty) selected id, and nobody is asked.
        StartFailureCase{"noDefaultDevice",
                         [](FakeCaptureBackend& b, SettingsStore&) { b.defaultCaptureDevice.reset(); },
                         Case::couldNotFindAudioDevice, "Could not find the selected audio device ",
                         "Could not find the audio device with ID " + deviceText, "defaultDevice"},
        StartFailureCase{"permissionDenied",
                         [](FakeCaptureBackend& b, SettingsStore&) {
                             b.status = CaptureBackend::Authorization::denied;
                             b.accessAnswer = false;
                         },
                         Case::deviceRecordPermissionNotGranted, "Does not have microphone access",
                         "Permission to record audio with device was not granted. Please allow access in your "
                         "device settings and try again.",
                         "requestAccess"},
        StartFailureCase{"inputCannotBeMade",
                         [](FakeCaptureBackend& b, SettingsStore&) {
                             b.inputProblem = CaptureFailure{CaptureFailure::Cause::deviceUnavailable, "device is busy"};
                         },
                         Case::audioDeviceNotAvailable, "Could not create AVCaptureDeviceInput: device is busy",
                         "The audio device is not available or in use by another application. Please check your "
                         "device settings and try again.",
                         "makeInput:default-mic"},
        StartFailureCase{"inputRefused", [](FakeCaptureBackend& b, SettingsStore&) { b.inputAccepted = false; },
                         Case::couldNotAddAudioInput, "Could not add audio input to capture session",
                         "Could not add audio input. Please check that your device is connected and try again. "
                         "Open the Sound settings on your device to you are seeing audio input.",
                         "addInput"},
        StartFailureCase{"outputRefused", [](FakeCaptureBackend& b, SettingsStore&) { b.outputAccepted = false; },
                         Case::couldNotAddAudioOutput, "Could not add audio data output to capture session",
                         "Could not add audio output. Please check your device settings and try again.",
                         "addOutput"},
        StartFailureCase{"deviceBusyAtStart",
                         [](FakeCaptureBackend& b, SettingsStore&) {
                             b.startFailure = CaptureFailure{CaptureFailure::Cause::deviceUnavailable, "busy"};
                         },
                         Case::audioDeviceNotAvailable, "Could not start the capture session: busy",
                         "The audio device is not available or in use by another application. Please check your "
                         "device settings and try again.",
                         "startRunning"},
        StartFailureCase{"startFails",
                         [](FakeCaptureBackend& b, SettingsStore&) {
                             b.startFailure = CaptureFailure{CaptureFailure::Cause::other, "server error"};
                         },
                         Case::couldNotStartRecording, "Could not start the capture session: server error",
                         "Could not start recording. Please check your device settings and try again.",
                         "startRunning"}),
    [](const testing::TestParamInfo<StartFailureCase>& info) { return std::string(info.param.name); });

TEST_F(RecorderStartTest, ANewStartReplacesTheSamplesOnlyOnceCaptureRuns) {
    recordPrevious();
    // Capture delivers before the start has finished: those samples open the new recording.
    backend->whileStarting = [](CaptureOutput& output) { output.deliver(monoBuffer({0.7f}).buffer()); };
    recorder.startRecording();
    EXPECT_EQ(recorder.rawFloatData(), std::vector<float>{0.7f});
    backend->deliver(monoBuffer({0.8f}).buffer());
    EXPECT_EQ(recorder.rawFloatData(), (std::vector<float>{0.7f, 0.8f}));
}

TEST_F(RecorderStartTest, BuffersOfAReplacedSessionAreDropped) {
    recorder.startRecording();
    const auto oldOutput = backend->lastOutput;
    recorder.startRecording();
    oldOutput->deliver(monoBuffer({0.5f}).buffer());
    EXPECT_TRUE(recorder.rawFloatData().empty());
}

TEST_F(RecorderStartTest, CaptureStoppingMidRecordingIsReportedAndKeepsTheSamples) {
    recorder.startRecording();
    backend->deliver(monoBuffer({0.25f, 0.5f}).buffer());
    std::vector<QString> failed;
    QObject::connect(&recorder, &Recorder::captureFailed, [&](const QString& text) { failed.push_back(text); });
    CapturedLog log;
    backend->lastOutput->fail({CaptureFailure::Cause::deviceUnavailable, "the device vc_mic was removed"});
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Audio capture stopped: the device vc_mic was removed"});
    QElapsedTimer waited;
    waited.start();
    while (failed.empty() && waited.elapsed() < 2000) QCoreApplication::processEvents();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed.front().toStdString(),
              RecorderError(Case::audioDeviceNotAvailable).errorDescription());
    EXPECT_EQ(recorder.rawFloatData(), (std::vector<float>{0.25f, 0.5f}));
}

}  // namespace
