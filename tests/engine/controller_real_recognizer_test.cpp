#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include "ModelWriter.h"
#include "engine/Model.h"
#include "engine/Recorder.h"
#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WhisperState.h"
#include "platform/KeyPoster.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"
#include "FakeCaptureBackend.h"
#include "FakeKeyPoster.h"
#include "support/FakePasteboard.h"
#include "SyntheticAudio.h"
#include "support/ReadFile.h"

namespace fs = std::filesystem;

namespace {

// The whole road with the real recognizer over a small generated model (random weights): whatever it recognizes is
// stored and delivered consistently.
TEST(ControllerWithRecognizer, DictationRunsThroughTheRealRecognizer) {
    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster" / "settings.json"};
    const fs::path modelFile = modelsFolderURL() / modelFileName("small", "en");
    ASSERT_TRUE(recognizer::ModelWriter(recognizer::ModelWriter::preset("syn-a", true)).write(modelFile.string()));

    auto backend = std::make_shared<capturetest::FakeCaptureBackend>();
    Recorder recorder{backend, settings, [] { return std::uint64_t(0); }};
    auto pasteboard = std::make_shared<vctest::FakePasteboard>();
    auto poster = std::make_shared<enginetest::FakeKeyPoster>();
    Pasteboard::setGeneral(pasteboard);
    KeyPoster::setSystem(poster);
    int completions = 0;
    auto state = WhisperState::create([&] { ++completions; }, recorder, settings, Recognizer::library());
    state->loadModel();
    ASSERT_NE(state->whisperContext(), nullptr);

    state->startRecording();
    const CaptureFormat format{CaptureFormat::SampleType::float32, 16000.0, 1};
    // A second of a tone, then the quiet tail the trim cuts off.
    backend->deliver(capturetest::encode(format, 0, 24000, [](std::int64_t i, int) {
                         return i < 16000 ? capturetest::sine(440.0, 16000.0, i) : 0.0;
                     }).buffer());
    state->stopRecording();
    for (int i = 0; i < 8; ++i) QCoreApplication::sendPostedEvents();

    const auto folders = fetchRecordings();
    ASSERT_EQ(folders.size(), 1u);
    const fs::path folder = folders[0].audioURL.parent_path();
    EXPECT_TRUE(fs::exists(folder / "output.wav"));
    const auto record = RecordingMetadata::decode(vctest::readFile(folder / "meta.json"));
    const auto kept = Recorder::trimForTranscription(recorder.rawFloatData(), 0.04f).size();
    EXPECT_GT(kept, 16000u);
    EXPECT_EQ(record.duration, std::int64_t(kept * 1000 / 16000));
    EXPECT_EQ(vctest::readFile(folder / "result.txt"), record.result);
    EXPECT_EQ(state->resultText().toStdString(), record.result);
    EXPECT_EQ(pasteboard->contents, record.result);
    EXPECT_EQ(poster->pastes, 1);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(state->currentState(), RecordingState::ready);

    state.reset();
    Pasteboard::setGeneral(nullptr);
    KeyPoster::setSystem(nullptr);
}

}  // namespace
