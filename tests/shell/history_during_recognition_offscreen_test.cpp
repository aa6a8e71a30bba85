// History open while a dictation is being recognized: the engine's real controller and recognizer, on a model of real
// dimensions whose recognition lasts long enough to look at the history during it, with a scripted microphone.

#include "ModelWriter.h"
#include "engine/FakeCaptureBackend.h"
#include "engine/Model.h"
#include "engine/Recorder.h"
#include "engine/Recording.h"
#include "engine/SyntheticAudio.h"
#include "engine/WhisperState.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsStore.h"
#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "support/FakeAudioDeviceSource.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"
#include "ui/ContentView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QThreadPool>

#include <chrono>
#include <future>

namespace fs = std::filesystem;

namespace {

class HistoryDuringRecognitionTest : public testing::Test {
protected:
    void SetUp() override {
        const fs::path model = modelsFolderURL() / modelFileName("small", "en");
        ASSERT_TRUE(recognizer::ModelWriter(recognizer::ModelWriter::preset("base", true)).write(model.string()));
        // As the shell does once a dictation is saved.
        state = WhisperState::create(
            [] {
                QMetaObject::invokeMethod(
                    qApp, [] { NotificationCenter::defaultCenter().post(QStringLiteral("recordingComplete")); },
                    Qt::QueuedConnection);
            },
            recorder, settings, Recognizer::library());
        state->loadModel();
    }
    void TearDown() override {
        delete history.data();
        QThreadPool::globalInstance()->waitForDone();
        for (int i = 0; i < 8; ++i) QCoreApplication::sendPostedEvents();
        state.reset();
    }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster" / "settings.json"};
    std::shared_ptr<capturetest::FakeCaptureBackend> microphone = std::make_shared<capturetest::FakeCaptureBackend>();
    Recorder recorder{microphone, settings, [] { return std::uint64_t(0); }};
    std::shared_ptr<WhisperState> state;
    KeyboardManager keyboard;
    AudioManager audio{settings, std::make_shared<vctest::FakeAudioDeviceSource>()};
    QPointer<ContentView> history;
};

TEST_F(HistoryDuringRecognitionTest, TheTakeBeingRecognizedIsListedOnceItsRecordIsWritten) {
    state->startRecording();
    // Three seconds of a tone, then the quiet tail that the trim cuts off.
    const CaptureFormat format{CaptureFormat::SampleType::float32, 16000.0, 1};
    microphone->deliver(capturetest::encode(format, 0, 64000, [](std::int64_t i, int) {
                            return i < 48000 ? capturetest::sine(440.0, 16000.0, i) : 0.0;
                        }).buffer());
    // The recognition starts once the audio is written whole.
    const std::uintmax_t wavSize = 44 + 2 * Recorder::trimForTranscription(recorder.rawFloatData(), 0.04f).size();
    auto stopping = std::async(std::launch::async, [this] { return state->stopRecording(); });
    fs::path folder;
    ASSERT_TRUE(vctest::waitFor(
        [&] {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(recordingsDirectory(), ec)) {
                if (fs::file_size(entry.path() / "output.wav", ec) == wavSize) folder = entry.path();
            }
            return !folder.empty();
        },
        20000));

    history = new ContentView(keyboard, audio);
    int reloads = 0;
    QObject::connect(history, &ContentView::recordingsReloaded, [&] { ++reloads; });
    history->show();
    ASSERT_TRUE(vctest::waitFor([&] { return reloads == 1; }, 10000));
    ASSERT_EQ(stopping.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
        << "the recognition ended before the history was listed";
    for (const Recording& recording : history->recordings()) {
        EXPECT_TRUE(recording.metadata.recognitionFinished)
            << recording.audioURL << " is listed as not transcribed while it is being recognized";
    }

    // Once its record is written, the history lists the take with it.
    EXPECT_TRUE(stopping.get());
    ASSERT_TRUE(vctest::waitFor([&] { return reloads == 2; }, 10000));
    ASSERT_EQ(history->recordings().size(), 1u);
    EXPECT_EQ(history->recordings()[0].audioURL, folder / "output.wav");
    EXPECT_TRUE(history->recordings()[0].metadata.recognitionFinished);
    EXPECT_TRUE(fs::exists(folder / "meta.json"));
}

}  // namespace
