#include "ScriptedController.h"
#include "engine/FakeCaptureBackend.h"
#include "engine/FakeKeyPoster.h"
#include "engine/FakeRecognizer.h"
#include "engine/Model.h"
#include "engine/Recorder.h"
#include "engine/SyntheticAudio.h"
#include "engine/WhisperState.h"
#include "platform/AppLog.h"
#include "platform/KeyPoster.h"
#include "platform/MonotonicClock.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsStore.h"
#include "shell/DictationControl.h"
#include "shell/WhisperStateController.h"
#include "support/FakePasteboard.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>
#include <utility>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// Runs the dictation control against a scripted controller and records every effect in order.
class DictationFixture : public testing::Test {
protected:
    DictationFixture() : settings(home.config() / "vellumcaster/settings.json") {
        DictationControl::Environment& env = environment;
        env.makeController = [this](DictationControl::Task onComplete) {
            ++controllersMade;
            completion = std::move(onComplete);
            auto made = std::make_shared<ScriptedController>();
            made->calls = &events;
            made->loaded = loadedAtCreation;
            made->duringLoad = [this] {
                if (auto hook = std::exchange(duringLoad, nullptr)) hook();
            };
            made->duringStop = [this] {
                if (auto hook = std::exchange(duringStop, nullptr)) hook();
            };
            controller = made;
            if (auto hook = std::exchange(duringCreation, nullptr)) hook();
            return made;
        };
        env.setStatusImage = [this](const QString& name) { events.push_back("image " + name.toStdString()); };
        env.showRecordingWindow = [this] { events.push_back("show window"); };
        env.hideRecordingWindow = [this] { events.push_back("hide window"); };
        env.registerEscapeHotKey = [this] { events.push_back("escape on"); };
        env.dropEscapeHotKey = [this] { events.push_back("escape off"); };
        env.showAlert = [this](const QString& title, const std::optional<QString>& message) {
            events.push_back("alert " + title.toStdString() + " / " + message.value_or("").toStdString());
        };
        env.postRecordingComplete = [this] { events.push_back("notify recordingComplete"); };
        env.playSound = [this](const QString& resource, float volume) {
            events.push_back("sound " + resource.toStdString() + " " + std::to_string(volume).substr(0, 3));
        };
        env.after = [this](int ms, DictationControl::Task task) {
            events.push_back("after " + std::to_string(ms));
            delayed = std::move(task);
        };
        control = std::make_unique<DictationControl>(settings, env);
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            logs.push_back(category + ": " + message);
        });
    }
    ~DictationFixture() override { AppLog::setSink({}); }

    // The first press with a loaded model leaves a recording controller behind.
    void startRecording() {
        loadedAtCreation = "small";
        control->toggleRecording();
        events.clear();
    }

    // One dictation recorded and stopped: the controller is made and the shell at rest.
    void finishOneDictation() {
        startRecording();
        control->toggleRecording();
        controller->state = RecordingState::ready;
        events.clear();
    }

    vctest::TempHome home;
    SettingsStore settings;
    std::vector<std::string> events;
    std::vector<std::string> logs;
    std::optional<std::string> loadedAtCreation;
    std::shared_ptr<ScriptedController> controller;
    DictationControl::Task completion;
    DictationControl::Task delayed;
    std::function<void()> duringCreation;
    std::function<void()> duringLoad;
    std::function<void()> duringStop;
    int controllersMade = 0;
    // What the control is made with; every effect lands in `events`.
    DictationControl::Environment environment;
    std::unique_ptr<DictationControl> control;
};

// The dictation control around the engine's real controller and recorder, over a scripted microphone and recognizer.
class DictationEngineFixture : public DictationFixture {
protected:
    DictationEngineFixture() {
        Pasteboard::setGeneral(pasteboard);
        KeyPoster::setSystem(std::make_shared<enginetest::FakeKeyPoster>());
        enginetest::writeFakeModel(modelsFolderURL() / modelFileName("small", "en"));
        environment.makeController = [this](DictationControl::Task onComplete) {
            return std::make_shared<WhisperStateController>(
                WhisperState::create(std::move(onComplete), recorder, settings, recognizer));
        };
        control = std::make_unique<DictationControl>(settings, environment);
    }
    ~DictationEngineFixture() override {
        vctest::drain();
        control.reset();
        Pasteboard::setGeneral(nullptr);
        KeyPoster::setSystem(nullptr);
    }

    void speak() {
        const CaptureFormat format{CaptureFormat::SampleType::float32, 16000.0, 1};
        microphone->deliver(capturetest::encode(format, 0, 16000, [](std::int64_t, int) { return 0.5; }).buffer());
    }

    std::shared_ptr<vctest::FakePasteboard> pasteboard = std::make_shared<vctest::FakePasteboard>();
    std::shared_ptr<capturetest::FakeCaptureBackend> microphone = std::make_shared<capturetest::FakeCaptureBackend>();
    Recorder recorder{microphone, settings, [] { return MonotonicClock::nowMilliseconds(); }};
    enginetest::FakeRecognizer recognizer;
};

const std::string loadAlert =
    "alert Could not load model / Was unable to load up the selected model. Try restarting vellumcaster and quitting "
    "other resource intensive applications.";

TEST_F(DictationFixture, FirstPressCreatesLoadsAndStarts) {
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconLoading", "image IconLoading", "controller.load", "image IconRecording",
                                    "controller.start", "escape on", "show window"));
    EXPECT_EQ(controllersMade, 1);
}

TEST_F(DictationFixture, PressesAndEscapeDuringTheRecognitionAreDroppedAndTheNextPressStartsAgain) {
    startRecording();
    duringStop = [this] {
        control->toggleRecording();
        control->cancelRecording();
        control->toggleRecording();
    };
    control->toggleRecording();
    // Escape still hides the window and lets the key go at once.
    EXPECT_THAT(events, ElementsAre("image IconWorking", "controller.stop", "escape off", "hide window"));
    events.clear();
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconRecording", "controller.start", "escape on", "show window"));
}

TEST_F(DictationFixture, ChangedModelReloadsBeforeRecording) {
    finishOneDictation();
    controller->active = "base";
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconLoading", "controller.load", "image IconRecording", "controller.start",
                                    "escape on", "show window"));
    EXPECT_EQ(controllersMade, 1);
}

TEST_F(DictationEngineFixture, AModelChosenDuringARecordingThatDoesNotLoadLeavesThePressToStopIt) {
    control->toggleRecording();
    vctest::drain();
    const auto ws = control->controller();
    ASSERT_EQ(ws->currentState(), RecordingState::recording);
    const auto session = recorder.captureSession();
    speak();

    // Another model is chosen while recording, and its file does not load.
    enginetest::writeFakeModel(modelsFolderURL() / modelFileName("base", "en"), "broken");
    settings.setString("activeModelKey", "base");
    events.clear();
    control->toggleRecording();
    vctest::drain();
    EXPECT_EQ(ws->currentState(), RecordingState::ready);
    EXPECT_FALSE(session->isRunning());
    EXPECT_EQ(recorder.captureSession(), nullptr);
    EXPECT_EQ(recognizer.runs().size(), 1u);
    EXPECT_EQ(pasteboard->contents, "hello");
    EXPECT_EQ(ws->loadedModel(), "small");
    EXPECT_THAT(events, ElementsAre("image IconWorking", "notify recordingComplete", "escape off", "hide window",
                                    "image IconComplete", "sound :/recording-complete.wav 1.0", "after 5000"));

    // The next press tries the chosen model before it starts.
    events.clear();
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconLoading", testing::StartsWith("alert Could not load model / "),
                                    "image Icon"));
}

TEST_F(DictationFixture, FailedLoadKeepsTheHotKeyAliveAndStartsNothing) {
    finishOneDictation();
    controller->failLoad = true;
    controller->loaded.reset();
    // A press made while the load fails is answered by the alert.
    duringLoad = [this] { control->toggleRecording(); };
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconLoading", "controller.load", loadAlert, "image Icon"));

    // The next press tries again.
    controller->failLoad = false;
    events.clear();
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconLoading", "controller.load", "image IconRecording", "controller.start",
                                    "escape on", "show window"));
}

TEST_F(DictationFixture, MissingModelFileIsNamedWithWhereItBelongsAndHowToGetIt) {
    settings.setString("selectedLanguage", "de");
    finishOneDictation();
    controller->missingModel = true;
    controller->loaded.reset();
    controller->active = "base";
    events.clear();
    control->toggleRecording();
    const std::string message = DictationControl::missingModelMessage("base", "de");
    EXPECT_THAT(events, ElementsAre("image IconLoading", "controller.load", "alert Speech model missing / " + message,
                                    "image Icon"));
    EXPECT_THAT(logs, ElementsAre("errors: " + message));
    EXPECT_THAT(message, testing::HasSubstr("ggml-base.bin is not in " + (home.data() / "vellumcaster").string()));
    EXPECT_THAT(message, testing::HasSubstr("Settings... > AI Model > Download"));
    EXPECT_THAT(message, testing::HasSubstr("VELLUMCASTER_MODEL_BASE_URL"));
}

TEST_F(DictationFixture, StopThatStoresNothingReturnsTheShellToRest) {
    startRecording();
    controller->stopStores = false;
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconWorking", "controller.stop", "escape off", "hide window", "image Icon"));
}

TEST_F(DictationFixture, AFileThatDoesNotLoadIsNamedWithTheWayOut) {
    finishOneDictation();
    controller->failLoad = true;
    controller->unloadableFile = "/home/u/.local/share/vellumcaster/ggml-small.en.bin";
    controller->loaded.reset();
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconLoading", "controller.load",
                                    "alert Could not load model / Was unable to load up the selected model from the "
                                    "file /home/u/.local/share/vellumcaster/ggml-small.en.bin. If the file is damaged "
                                    "or incomplete, delete it and download the model again in Settings.",
                                    "image Icon"));
}

TEST_F(DictationFixture, PressesDuringCreationAndLoadCountOnceTheModelIsThereAndMakeNoSecondController) {
    // A second press arrives while the first is still creating the controller, and a third while it loads: each
    // takes effect in turn, and a fourth ends at rest.
    duringCreation = [this] { control->toggleRecording(); };
    duringLoad = [this] { control->toggleRecording(); };
    control->toggleRecording();
    EXPECT_EQ(controllersMade, 1);
    EXPECT_THAT(events, ElementsAre("image IconLoading", "image IconLoading", "controller.load", "image IconRecording",
                                    "controller.start", "escape on", "show window", "image IconWorking",
                                    "controller.stop", "image IconRecording", "controller.start", "escape on",
                                    "show window"));
    events.clear();
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconWorking", "controller.stop"));
}

TEST_F(DictationFixture, StartFailureAlertsAndReturnsToRest) {
    finishOneDictation();
    controller->failStart = "Could not find audio device";
    control->toggleRecording();
    EXPECT_THAT(events, ElementsAre("image IconRecording", "controller.start",
                                    "alert Could not start recording / Could not find audio device", "image Icon"));
}

TEST_F(DictationFixture, EscapeWhileRecordingDiscardsAndRests) {
    control->cancelRecording();  // no controller yet: nothing happens
    EXPECT_THAT(events, IsEmpty());
    startRecording();
    control->cancelRecording();
    EXPECT_THAT(events, ElementsAre("escape off", "hide window", "controller.cancel", "image Icon"));
}

TEST_F(DictationFixture, CompletionNotifiesReleasesEscapeShowsCompleteAndRestsAfterFiveSeconds) {
    settings.setBool("enableSoundEffects", true);
    startRecording();
    completion();
    EXPECT_THAT(events, ElementsAre("notify recordingComplete", "escape off", "hide window", "image IconComplete",
                                    "sound :/recording-complete.wav 1.0", "after 5000"));
    events.clear();
    controller->state = RecordingState::ready;
    delayed();
    EXPECT_THAT(events, ElementsAre("image Icon"));
}

TEST_F(DictationFixture, WindowSettingsAreHonoured) {
    settings.setBool("closeRecordingViewEnabled", false);
    startRecording();
    control->toggleRecording();
    completion();
    settings.setBool("recordingViewEnabled", false);
    controller->state = RecordingState::ready;
    control->toggleRecording();
    EXPECT_THAT(events, testing::Not(testing::Contains("hide window")));
    EXPECT_THAT(events, testing::Not(testing::Contains("show window")));
}

TEST_F(DictationFixture, NewDictationWithinFiveSecondsKeepsItsIcon) {
    startRecording();
    completion();
    controller->state = RecordingState::recording;
    events.clear();
    delayed();
    EXPECT_THAT(events, IsEmpty());
}

TEST_F(DictationFixture, SoundPlaysUnlessStoredOffAtTheStoredVolume) {
    startRecording();
    settings.setBool("enableSoundEffects", false);
    control->playSound("recording-complete", "wav");
    EXPECT_THAT(events, IsEmpty());

    settings.remove("enableSoundEffects");
    control->playSound("recording-complete", "wav");
    settings.setBool("enableSoundEffects", true);
    settings.setNumber("soundEffectVolume", 0.3);
    control->playSound("recording-complete", "wav");
    settings.setString("soundEffectVolume", "loud");
    control->playSound("recording-complete", "wav");
    EXPECT_THAT(events, ElementsAre("sound :/recording-complete.wav 1.0", "sound :/recording-complete.wav 0.3",
                                    "sound :/recording-complete.wav 1.0"));

    events.clear();
    control->playSound("no-such-sound", "mp3");
    EXPECT_THAT(events, IsEmpty());
    EXPECT_THAT(logs, ElementsAre("errors: Unable to find sound file with name 'no-such-sound' and extension 'mp3'."));
}

}  // namespace
