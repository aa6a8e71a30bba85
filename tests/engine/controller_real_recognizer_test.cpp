#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <mutex>
#include <numbers>
#include <thread>

#include "ModelWriter.h"
#include "engine/Model.h"
#include "engine/Recorder.h"
#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WhisperState.h"
#include "platform/AppLog.h"
#include "platform/KeyPoster.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"
#include "FakeCaptureBackend.h"
#include "FakeKeyPoster.h"
#include "support/FakePasteboard.h"
#include "SyntheticAudio.h"
#include "support/ReadFile.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {

// The real recognizer, counting the runs it has begun.
class WatchedRecognizer : public Recognizer {
public:
    std::atomic<int> runsBegun{0};

    whisper_context* initFromFile(const char* pathModel) override { return library().initFromFile(pathModel); }
    void free(whisper_context* context) override { library().free(context); }
    whisper_full_params fullDefaultParams(whisper_sampling_strategy strategy) override {
        return library().fullDefaultParams(strategy);
    }
    void resetTimings(whisper_context* context) override { library().resetTimings(context); }
    int full(whisper_context* context, whisper_full_params params, const float* samples, int count) override {
        ++runsBegun;
        return library().full(context, params, samples, count);
    }
    void printTimings(whisper_context* context) override { library().printTimings(context); }
    int fullSegmentCount(whisper_context* context) override { return library().fullSegmentCount(context); }
    const char* fullSegmentText(whisper_context* context, int segment) override {
        return library().fullSegmentText(context, segment);
    }
};

// The real recognizer over a small generated model (random weights), with a scripted microphone.
class ControllerWithRecognizer : public testing::Test {
protected:
    void SetUp() override {
        const fs::path modelFile = modelsFolderURL() / modelFileName("small", "en");
        ASSERT_TRUE(
            recognizer::ModelWriter(recognizer::ModelWriter::preset("syn-a", true)).write(modelFile.string()));
        Pasteboard::setGeneral(pasteboard);
        KeyPoster::setSystem(poster);
        state = WhisperState::create([this] { ++completions; }, recorder, settings, recognizer);
        state->loadModel();
        ASSERT_NE(state->whisperContext(), nullptr);
    }
    void TearDown() override {
        // Posted work holds the controller: done now, while the recognizer that it calls is still there.
        for (int i = 0; i < 8; ++i) QCoreApplication::sendPostedEvents();
        state.reset();
        Pasteboard::setGeneral(nullptr);
        KeyPoster::setSystem(nullptr);
    }

    // Records `count` samples of `sample(i)`.
    void record(std::int64_t count, const std::function<double(std::int64_t)>& sample) {
        state->startRecording();
        const CaptureFormat format{CaptureFormat::SampleType::float32, 16000.0, 1};
        backend->deliver(
            capturetest::encode(format, 0, count, [&sample](std::int64_t i, int) { return sample(i); }).buffer());
    }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster" / "settings.json"};
    std::shared_ptr<capturetest::FakeCaptureBackend> backend = std::make_shared<capturetest::FakeCaptureBackend>();
    Recorder recorder{backend, settings, [] { return std::uint64_t(0); }};
    std::shared_ptr<vctest::FakePasteboard> pasteboard = std::make_shared<vctest::FakePasteboard>();
    std::shared_ptr<enginetest::FakeKeyPoster> poster = std::make_shared<enginetest::FakeKeyPoster>();
    std::atomic<int> completions{0};
    WatchedRecognizer recognizer;
    std::shared_ptr<WhisperState> state;
};

// The whole road: whatever the recognizer recognizes is stored and delivered consistently, and none of it is printed
// (a session's output goes to its journal): the output holds counts and times only.
TEST_F(ControllerWithRecognizer, DictationRunsThroughTheRealRecognizer) {
    // A second of a tone, then the quiet tail the trim cuts off.
    record(24000, [](std::int64_t i) { return i < 16000 ? capturetest::sine(440.0, 16000.0, i) : 0.0; });
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    state->stopRecording();
    for (int i = 0; i < 8; ++i) QCoreApplication::sendPostedEvents();
    const std::string printed = testing::internal::GetCapturedStdout();
    const std::string logged = testing::internal::GetCapturedStderr();

    const auto folders = fetchRecordings();
    ASSERT_EQ(folders.size(), 1u);
    const fs::path folder = folders[0].audioURL.parent_path();
    EXPECT_TRUE(fs::exists(folder / "output.wav"));
    const auto record = RecordingMetadata::decode(vctest::readFile(folder / "meta.json"));
    const auto kept = Recorder::trimForTranscription(recorder.rawFloatData(), 0.04f).size();
    EXPECT_GT(kept, 16000u);
    EXPECT_EQ(record.duration, std::int64_t(kept * 1000 / 16000));
    ASSERT_FALSE(record.result.empty());
    EXPECT_EQ(printed, "24000\n" + std::to_string(kept) + "\n");
    EXPECT_EQ(logged.find(record.result), std::string::npos) << logged;
    EXPECT_EQ(vctest::readFile(folder / "result.txt"), record.result);
    EXPECT_EQ(state->resultText().toStdString(), record.result);
    EXPECT_EQ(pasteboard->contents, record.result);
    EXPECT_EQ(poster->pastes, 1);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(state->currentState(), RecordingState::ready);
}

// Quitting stops a long recognition early: the run ends with the text so far, and the dictation's audio is stored.
TEST_F(ControllerWithRecognizer, StoppingTranscriptionEndsALongRunAndKeepsTheAudio) {
    std::mutex mutex;
    std::vector<std::string> infoLines;
    AppLog::setSink([&](const std::string& category, const std::string& message) {
        std::lock_guard lock(mutex);
        if (category == "info") infoLines.push_back(message);
    });
    // Two minutes of noise: the whole run takes seconds.
    std::uint32_t seed = 1;
    record(16000 * 120, [&seed](std::int64_t) {
        seed = seed * 1664525u + 1013904223u;
        return 0.3 * (double(seed >> 8) / double(1u << 24) - 0.5) + 0.1;
    });
    auto stopping = std::async(std::launch::async, [this] { return state->stopRecording(); });
    // Stopped while the recognizer runs (the audio is written before it starts).
    EXPECT_TRUE(vctest::waitFor([this] { return recognizer.runsBegun > 0; }, 20000));
    state->stopTranscribing();
    EXPECT_TRUE(stopping.get());
    for (int i = 0; i < 8; ++i) QCoreApplication::sendPostedEvents();
    AppLog::setSink({});

    EXPECT_NE(std::find(infoLines.begin(), infoLines.end(), "Recognition stopped"), infoLines.end());
    const auto folders = fetchRecordings();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].metadata.duration, 120000 - 250);  // without the last quarter second the trim drops
    EXPECT_EQ(vctest::readFile(folders[0].metaURL.parent_path() / "result.txt"), folders[0].metadata.result);
    EXPECT_EQ(completions, 1);

    // Later runs end at once.
    EXPECT_EQ(state->runRealtimeTranscription(std::vector<float>(16000, 0.2f)), "");
}

}  // namespace
