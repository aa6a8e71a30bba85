// The shell around the engine's real controller and recorder (with a scripted microphone and recognizer): what the
// user sees when a dictation cannot be stored, when the microphone goes away while recording, when it delivers no
// sound at all, and after a burst of hot-key presses.

#include "FakeHotKeyBackend.h"
#include "engine/FakeCaptureBackend.h"
#include "engine/FakeKeyPoster.h"
#include "engine/FakeRecognizer.h"
#include "engine/Model.h"
#include "engine/RecorderError.h"
#include "engine/SyntheticAudio.h"
#include "engine/WhisperState.h"
#include "platform/AppLog.h"
#include "platform/KeyPoster.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsStore.h"
#include "shell/AppDelegate.h"
#include "shell/RecordingWindow.h"
#include "shell/WhisperStateController.h"
#include "support/FakeAudioDeviceSource.h"
#include "support/FakePasteboard.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>

#include <fstream>

namespace fs = std::filesystem;

namespace {

class AppDelegateEngineTest : public testing::Test {
protected:
    void SetUp() override {
        AppLog::setSink([](const std::string&, const std::string&) {});
        Pasteboard::setGeneral(std::make_shared<vctest::FakePasteboard>());
        KeyPoster::setSystem(std::make_shared<enginetest::FakeKeyPoster>());
        enginetest::writeFakeModel(modelsFolderURL() / modelFileName("small", "en"));

        AppDelegate::Services s;
        s.isTrusted = [] { return true; };
        s.loginItemEnabled = [] { return false; };
        s.setLoginItemEnabled = [](bool) {};
        s.downloadModel = [](const std::string&, const fs::path&) {};
        s.captureBackend = microphone;
        s.audioDevices = std::make_shared<vctest::FakeAudioDeviceSource>();
        s.makeController = [this](Recorder& recorder, AppDelegate::Task onComplete) {
            return std::make_shared<WhisperStateController>(
                WhisperState::create(std::move(onComplete), recorder, settings, recognizer));
        };
        if (!onThePool) s.spawn = [](AppDelegate::Task task) { task(); };
        app = std::make_unique<AppDelegate>(settings, std::move(s));
        app->applicationDidFinishLaunching();
    }
    void TearDown() override {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox*>(widget)) widget->close();
        }
        app.reset();
        drain();
        Pasteboard::setGeneral(nullptr);
        KeyPoster::setSystem(nullptr);
        AppLog::setSink({});
    }

    static void drain() {
        for (int i = 0; i < 8; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    // The alert shown last with this title; null when there is none.
    static QMessageBox* alert(const QString& title) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible() && box->text() == title) return box;
        }
        return nullptr;
    }

    void speak(std::size_t count, double level = 0.5) {
        const CaptureFormat format{CaptureFormat::SampleType::float32, 16000.0, 1};
        microphone->deliver(
            capturetest::encode(format, 0, std::int64_t(count), [level](std::int64_t, int) { return level; }).buffer());
    }

    void startDictation() {
        app->dictation().toggleRecording();
        drain();
        ASSERT_EQ(app->statusItem().imageName(), "IconRecording");
        ASSERT_NE(app->keyboardManager().hotKeyEscape(), nullptr);
        ASSERT_NE(app->recordingWindow(), nullptr);
        ASSERT_TRUE(app->recordingWindow()->isVisible());
    }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    std::shared_ptr<FakeHotKeyBackend> hotKeys = FakeHotKeyBackend::install();
    std::shared_ptr<capturetest::FakeCaptureBackend> microphone = std::make_shared<capturetest::FakeCaptureBackend>();
    enginetest::FakeRecognizer recognizer;
    std::unique_ptr<AppDelegate> app;
    // Presses are answered on the application's own threads instead of at once.
    bool onThePool = false;
};

class HotKeyBurstTest : public AppDelegateEngineTest {
protected:
    HotKeyBurstTest() { onThePool = true; }
};

TEST_F(AppDelegateEngineTest, DictationThatCannotBeStoredIsDeliveredAndSaysWhereAndWhy) {
    // A plain file where the recordings folder belongs: no place for output.wav can be formed.
    fs::create_directories(home.documents());
    std::ofstream(home.documents() / "vellumcaster") << "in the way";
    startDictation();
    speak(16000);

    app->dictation().toggleRecording();
    drain();
    QMessageBox* box = alert("Could not save the dictation");
    ASSERT_NE(box, nullptr) << "the lost dictation was not shown";
    EXPECT_TRUE(box->informativeText().contains(
        QString::fromStdString((home.documents() / "vellumcaster" / "recordings").string() + " (Not a directory)")))
        << box->informativeText().toStdString();
    EXPECT_EQ(recognizer.runs().size(), 1u);
    EXPECT_EQ(static_cast<vctest::FakePasteboard&>(Pasteboard::general()).contents, "hello");
    EXPECT_EQ(app->dictation().controller()->currentState(), RecordingState::ready);
    EXPECT_EQ(app->statusItem().imageName(), "IconComplete");
    EXPECT_EQ(app->keyboardManager().hotKeyEscape(), nullptr) << "Escape stays grabbed system-wide";

    // The next press starts a new dictation.
    startDictation();
}

TEST_F(AppDelegateEngineTest, MicrophoneLostWhileRecordingIsShownAndTheSamplesSoFarAreKept) {
    startDictation();
    speak(16000);
    microphone->lastOutput->fail({CaptureFailure::Cause::deviceUnavailable, "the device vc_mic was removed"});
    drain();
    // Not told as a failed start: the recording had started, and what it holds is kept.
    EXPECT_EQ(alert("Could not start recording"), nullptr);
    QMessageBox* box = alert("Recording stopped");
    ASSERT_NE(box, nullptr) << "the lost microphone was not shown";
    EXPECT_TRUE(box->informativeText().startsWith(
        QString::fromStdString(RecorderError(RecorderError::Case::audioDeviceNotAvailable).errorDescription())));
    EXPECT_TRUE(box->informativeText().contains("is kept")) << box->informativeText().toStdString();

    // The hot key still ends the dictation, which recognizes what was captured before the loss.
    app->dictation().toggleRecording();
    drain();
    const auto runs = recognizer.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_GT(runs[0].samples.size(), 8000u);
    EXPECT_EQ(app->statusItem().imageName(), "IconComplete");
}

TEST_F(HotKeyBurstTest, EvenBurstRightAfterStartWhileTheModelLoadsEndsAtRest) {
    // Twenty releases of the hot key in one go, as the desktop hands them over while the application is busy: the
    // first makes the controller and loads the model while the others come in.
    const std::uint32_t id = hotKeys->calls.back().id;
    for (int press = 0; press < 20; ++press) {
        ASSERT_EQ(hotKeys->fire(id, HotKeyEvent::kindPressed), HotKeysController::eventNotHandledErr);
        ASSERT_EQ(hotKeys->fire(id, HotKeyEvent::kindReleased), HotKeysController::noErr);
    }
    ASSERT_TRUE(app->waitForTasks(std::chrono::seconds(30)));
    drain();
    const auto controller = app->dictation().controller();
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->currentState(), RecordingState::ready);
    EXPECT_EQ(app->statusItem().imageName(), "Icon");
    EXPECT_EQ(app->keyboardManager().hotKeyEscape(), nullptr);
    EXPECT_FALSE(app->recordingWindow() && app->recordingWindow()->isVisible());

    // The twenty-first press records.
    ASSERT_EQ(hotKeys->fire(id, HotKeyEvent::kindReleased), HotKeysController::noErr);
    ASSERT_TRUE(app->waitForTasks(std::chrono::seconds(30)));
    drain();
    EXPECT_EQ(controller->currentState(), RecordingState::recording);
}

TEST_F(AppDelegateEngineTest, AMicrophoneThatDeliversNoSoundAtAllIsToldFromAQuietRoom) {
    // A quiet room: some noise, below what holds speech. Nothing to recognize, and nothing to tell.
    startDictation();
    speak(16000, 0.001);
    app->dictation().toggleRecording();
    drain();
    EXPECT_EQ(alert("No sound from the microphone"), nullptr);
    EXPECT_EQ(app->statusItem().imageName(), "Icon");

    // A dead microphone: a second of exact zeros.
    startDictation();
    speak(16000, 0.0);
    app->dictation().toggleRecording();
    drain();
    QMessageBox* box = alert("No sound from the microphone");
    ASSERT_NE(box, nullptr) << "the dead microphone was not shown";
    EXPECT_TRUE(box->informativeText().contains("no sound at all")) << box->informativeText().toStdString();
    EXPECT_TRUE(recognizer.runs().empty());
    EXPECT_EQ(app->statusItem().imageName(), "Icon");
}

}  // namespace
