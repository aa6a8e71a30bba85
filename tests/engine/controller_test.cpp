#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "CapturedLog.h"
#include "FakeCaptureBackend.h"
#include "FakeKeyPoster.h"
#include "FakeRecognizer.h"
#include "RecorderFixture.h"
#include "SyntheticAudio.h"
#include "engine/CopyToPasteboard.h"
#include "engine/Model.h"
#include "engine/Recorder.h"
#include "engine/RecorderError.h"
#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WavFile.h"
#include "engine/WhisperState.h"
#include "engine/WhisperStateError.h"
#include "platform/KeyPoster.h"
#include "platform/Pasteboard.h"
#include "platform/Prompt.h"
#include "platform/SettingsStore.h"
#include "support/FakePasteboard.h"
#include "support/ReadFile.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;
using capturetest::CapturedLog;
using capturetest::FakeCaptureBackend;
using enginetest::FakeKeyPoster;
using vctest::FakePasteboard;
using enginetest::FakeRecognizer;

namespace {

// 8000 loud samples and 12000 quiet ones: the trim drops the last 4000 and keeps 2000 after the last loud sample,
// so 10000 samples (625 ms) are recognized and stored.
std::vector<float> speechThenSilence() {
    std::vector<float> samples(20000, 0.0f);
    std::fill(samples.begin(), samples.begin() + 8000, 0.5f);
    return samples;
}

class ControllerTest : public capturetest::RecorderFixture {
protected:
    FakeRecognizer recognizer;
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeKeyPoster> poster = std::make_shared<FakeKeyPoster>();
    std::atomic<int> completions{0};
    std::shared_ptr<WhisperState> state;
    std::vector<RecordingState> states;  // every change of currentState

    void SetUp() override {
        Pasteboard::setGeneral(pasteboard);
        KeyPoster::setSystem(poster);
        state = WhisperState::create([this] { ++completions; }, recorder, settings, recognizer);
        QObject::connect(state.get(), &WhisperState::currentStateChanged,
                         [this] { states.push_back(state->currentState()); });
    }
    void TearDown() override {
        vctest::drain();
        state.reset();
        Pasteboard::setGeneral(nullptr);
        KeyPoster::setSystem(nullptr);
    }

    void loadModel() {
        enginetest::writeFakeModel(modelsFolderURL() / modelFileName("small", "en"));
        state->loadModel();
    }

    void record(const std::vector<float>& samples) {
        state->startRecording();
        vctest::drain();
        const CaptureFormat format{CaptureFormat::SampleType::float32, 16000.0, 1};
        backend->deliver(capturetest::encode(format, 0, std::int64_t(samples.size()), [&](std::int64_t i, int) {
                             return double(samples[std::size_t(i)]);
                         }).buffer());
    }

    void dictate(const std::vector<float>& samples) {
        record(samples);
        state->stopRecording();
        vctest::drain();
    }

    static std::vector<fs::path> recordingFolders() {
        std::vector<fs::path> folders;
        if (!fs::exists(recordingsDirectory())) return folders;
        for (const auto& entry : fs::directory_iterator(recordingsDirectory())) folders.push_back(entry.path());
        return folders;
    }

    static fs::path onlyFolder() {
        const auto folders = recordingFolders();
        EXPECT_EQ(folders.size(), 1u);
        return folders.empty() ? fs::path() : folders.front();
    }
};

TEST_F(ControllerTest, DictationStoresTheTrimmedAudioTheTextAndTheRecordAndDelivers) {
    settings.setString("activePrompt", "Names: Ana");
    settings.setString("selectedLanguage", "de");
    settings.setBool("enableTranslation", true);
    settings.setString("selectedDeviceID", "usb-mic");
    enginetest::writeFakeModel(modelsFolderURL() / modelFileName("small", "de"));
    state->loadModel();
    EXPECT_EQ(state->loadedModel(), "small");
    recognizer.script({" Hello", " [MUSIC] world."});

    const auto captured = speechThenSilence();
    dictate(captured);

    const std::vector<float> trimmed = Recorder::trimForTranscription(recorder.rawFloatData(), 0.04f);
    ASSERT_EQ(trimmed.size(), 10000u);
    const auto runs = recognizer.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].samples, trimmed);
    EXPECT_EQ(runs[0].prompt, "Names: Ana");
    EXPECT_EQ(runs[0].language, "de");
    EXPECT_TRUE(runs[0].params.translate);

    const fs::path folder = onlyFolder();
    EXPECT_EQ(fs::file_size(folder / "output.wav"), 44u + 2u * trimmed.size());
    const auto stored = readWavSamples(folder / "output.wav");
    ASSERT_EQ(stored.size(), trimmed.size());
    EXPECT_FLOAT_EQ(stored.front(), wavSampleToFloat(wavSampleFromFloat(0.5f)));
    EXPECT_EQ(vctest::readFile(folder / "result.txt"), "Hello  world.");

    const auto record = RecordingMetadata::decode(vctest::readFile(folder / "meta.json"));
    EXPECT_EQ(record.duration, 625);
    EXPECT_EQ(record.modelKey, "small");
    EXPECT_EQ(record.modelName, "Standard");
    EXPECT_EQ(record.recordingDevice, "usb-mic");
    EXPECT_EQ(record.languageSelected, "de");
    EXPECT_EQ(record.prompt, "Names: Ana");
    EXPECT_TRUE(record.translationEnabled);
    EXPECT_FALSE(record.literalPunctuationEnabled);
    EXPECT_EQ(record.rawResult, "Hello  world.");
    EXPECT_EQ(record.result, "Hello  world.");
    EXPECT_GE(record.processingTime, 0);

    EXPECT_EQ(state->resultText(), "Hello  world.");
    EXPECT_EQ(state->currentState(), RecordingState::ready);
    EXPECT_EQ(states, (std::vector<RecordingState>{RecordingState::recording, RecordingState::processing,
                                                   RecordingState::ready}));
    EXPECT_EQ(pasteboard->events, (std::vector<std::string>{"clear", "write:Hello  world."}));
    EXPECT_EQ(poster->pastes, 1);
    EXPECT_EQ(completions, 1);
}

// A prompt far longer than the recognizer uses (pasted before the field had its bound) goes to the run and into the
// record as its last Prompt::maxLength characters: the record is read back whole.
TEST_F(ControllerTest, AHugeStoredPromptIsBoundedAndTheRecordReadsBackWhole) {
    // Control characters, each written as \u00XX: the longest record a prompt can make.
    const std::string huge = "Names: " + std::string(1048300, '\x01') + " Ana";
    settings.setString("activePrompt", huge);
    loadModel();
    recognizer.script({" Hello"});
    dictate(speechThenSilence());

    const std::string bounded = huge.substr(huge.size() - Prompt::maxLength);
    const auto runs = recognizer.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].prompt, bounded);
    const auto recordings = fetchRecordings();
    ASSERT_EQ(recordings.size(), 1u);
    const RecordingMetadata& record = recordings[0].metadata;
    EXPECT_EQ(record.prompt, bounded);
    EXPECT_EQ(record.duration, 625);
    EXPECT_EQ(record.modelName, "Standard");
    EXPECT_EQ(record.result, "Hello");
    const auto size = fs::file_size(recordings[0].metaURL);
    RecordProperty("metaJsonBytes", std::to_string(size));
    EXPECT_LT(size, 32u * 1024u);
}

TEST_F(ControllerTest, LiteralPunctuationDeliversAndStoresTheSignsOfSpokenWordsOnly) {
    settings.setBool("enableLiteralPunctuation", true);
    loadModel();
    recognizer.script({" hello period"});
    recognizer.script({" Hello, you question mark", " new line bye period!"});
    record(speechThenSilence());
    EXPECT_EQ(state->runRealtimeTranscription(std::vector<float>(100, 0.2f)), "hello.");
    state->stopRecording();
    vctest::drain();

    EXPECT_EQ(state->realtimeText(), " hello.");
    const std::string cleaned = "Hello you?\nbye.";
    const fs::path folder = onlyFolder();
    const auto record = RecordingMetadata::decode(vctest::readFile(folder / "meta.json"));
    EXPECT_EQ(record.rawResult, cleaned);
    EXPECT_EQ(record.result, cleaned);
    EXPECT_TRUE(record.literalPunctuationEnabled);
    EXPECT_EQ(vctest::readFile(folder / "result.txt"), cleaned);
    EXPECT_EQ(state->resultText().toStdString(), cleaned);
    EXPECT_EQ(pasteboard->contents, cleaned);
}

TEST_F(ControllerTest, PasteIsPostedOnlyWithAutoPasteAndAfterTheClipboardHoldsTheText) {
    loadModel();
    std::optional<std::string> atPaste;
    poster->onPaste = [&] { atPaste = pasteboard->contents; };
    dictate(speechThenSilence());
    EXPECT_EQ(poster->pastes, 1);
    EXPECT_EQ(atPaste, "hello");

    settings.setBool("autoPasteEnabled", false);
    recognizer.script({" second"});
    dictate(speechThenSilence());
    EXPECT_EQ(pasteboard->contents, "second");
    EXPECT_EQ(poster->pastes, 1);
    EXPECT_EQ(completions, 2);
}

// A dictation that yields no text leaves the user's clipboard as it was and pastes nothing; one whose recognition
// failed (or could not run without a model) is stored as such and announced, one in which no voice was found is not.
TEST_F(ControllerTest, AnEmptyTextLeavesTheClipboardAloneAndAFailedRecognitionIsAnnounced) {
    std::vector<QString> failures;
    QObject::connect(state.get(), &WhisperState::recognitionFailed,
                     [&](const QString& message) { failures.push_back(message); });
    pasteboard->contents = "copied by the user";
    const auto dictateAndRead = [&] {
        const auto before = recordingFolders();
        dictate(speechThenSilence());
        for (const fs::path& folder : recordingFolders()) {
            if (std::find(before.begin(), before.end(), folder) == before.end()) {
                EXPECT_EQ(vctest::readFile(folder / "result.txt"), "");
                return RecordingMetadata::decode(vctest::readFile(folder / "meta.json"));
            }
        }
        ADD_FAILURE() << "nothing stored";
        return RecordingMetadata::defaultRecord();
    };

    EXPECT_FALSE(dictateAndRead().recognitionFinished);  // no model loaded
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], "This dictation could not be transcribed. Its recording is kept in History.");

    loadModel();
    recognizer.defaultSegments = {};
    EXPECT_TRUE(dictateAndRead().recognitionFinished);  // no voice found
    EXPECT_EQ(failures.size(), 1u);

    recognizer.fullResult = -1;
    EXPECT_FALSE(dictateAndRead().recognitionFinished);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[1], failures[0]);

    // A language written into the settings by hand, which the model refuses: the notice says which.
    settings.setString("selectedLanguage", "yue");
    EXPECT_FALSE(dictateAndRead().recognitionFinished);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[2], "This dictation could not be transcribed. Its recording is kept in History. The speech "
                           "model does not know the language \"yue\" that the settings name: choose a language in "
                           "Settings... > AI Model.");

    EXPECT_TRUE(pasteboard->events.empty());
    EXPECT_EQ(pasteboard->contents, "copied by the user");
    EXPECT_EQ(poster->pastes, 0);
    EXPECT_EQ(completions, 4);
    EXPECT_EQ(state->resultText(), "");
    EXPECT_EQ(state->currentState(), RecordingState::ready);
}

TEST_F(ControllerTest, StartThatFailsAtOnceEndsReadyAndRethrows) {
    backend->startFailure = CaptureFailure{CaptureFailure::Cause::deviceUnavailable, "busy"};
    EXPECT_THROW(state->startRecording(), RecorderError);
    vctest::drain();
    EXPECT_EQ(state->currentState(), RecordingState::ready);
    EXPECT_EQ(recorder.captureSession(), nullptr);
}

TEST_F(ControllerTest, StartClearsTheLastDictationsTexts) {
    loadModel();
    dictate(speechThenSilence());
    state->runRealtimeTranscription({0.1f});
    vctest::drain();
    ASSERT_FALSE(state->resultText().isEmpty());
    ASSERT_FALSE(state->realtimeText().isEmpty());
    state->startRecording();
    vctest::drain();
    EXPECT_TRUE(state->resultText().isEmpty());
    EXPECT_TRUE(state->realtimeText().isEmpty());
    EXPECT_EQ(state->currentState(), RecordingState::recording);
}

TEST_F(ControllerTest, CancelDiscardsARecordingAndNothingElse) {
    loadModel();
    // Ready: nothing happens, the last result stays.
    dictate(speechThenSilence());
    state->cancelRecording();
    vctest::drain();
    EXPECT_EQ(state->resultText(), "hello");

    // Recording: capture is released, texts cleared, nothing stored.
    record(speechThenSilence());
    state->runRealtimeTranscription({0.1f});
    vctest::drain();
    state->cancelRecording();
    vctest::drain();
    EXPECT_EQ(state->currentState(), RecordingState::ready);
    EXPECT_TRUE(state->realtimeText().isEmpty());
    EXPECT_EQ(recorder.captureSession(), nullptr);
    EXPECT_EQ(recorder.audioDataOutput(), nullptr);
    EXPECT_EQ(recordingFolders().size(), 1u);

    // Processing: the dictation goes on and is delivered.
    record(speechThenSilence());
    recognizer.hold();
    recognizer.script({" kept"});
    auto stopping = std::async(std::launch::async, [this] { state->stopRecording(); });
    recognizer.waitForWaitingRuns(1);
    vctest::drain();
    ASSERT_EQ(state->currentState(), RecordingState::processing);
    state->cancelRecording();
    recognizer.release();
    stopping.get();
    vctest::drain();
    EXPECT_EQ(state->resultText(), "kept");
    EXPECT_EQ(state->currentState(), RecordingState::ready);
    EXPECT_EQ(recordingFolders().size(), 2u);
}

TEST_F(ControllerTest, RealtimeTextGathersTheChunksAfterThePromptAndTheTextSoFar) {
    settings.setString("activePrompt", "Ctx");
    loadModel();
    recognizer.script({" first"});
    recognizer.script({" second"});
    EXPECT_EQ(state->runRealtimeTranscription({0.1f}), "first");
    vctest::drain();
    EXPECT_EQ(state->runRealtimeTranscription({0.2f}), "second");
    vctest::drain();
    EXPECT_EQ(state->realtimeText(), " first second");
    const auto runs = recognizer.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].prompt, "Ctx ");  // an empty text so far still adds the space
    EXPECT_EQ(runs[1].prompt, "Ctx  first");
    EXPECT_EQ(state->currentState(), RecordingState::ready);  // realtime runs store and deliver nothing
    EXPECT_TRUE(pasteboard->events.empty());
}

TEST_F(ControllerTest, RecorderChunksReachTheRealtimeText) {
    settings.setBool("realtimeResultsEnabled", true);
    loadModel();
    recognizer.script({" spoken"});
    std::vector<float> samples(32001, 0.0f);
    std::fill(samples.begin(), samples.begin() + 16001, 0.5f);  // speech, then a pause the rule detects
    record(samples);
    recorder.heartbeat();
    vctest::drain();
    const auto runs = recognizer.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].samples.size(), 32000u);
    EXPECT_EQ(state->realtimeText(), " spoken");
}

// A full disk, or one that refuses files of this size: writes beyond `bytes` fail with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

// The samples are in memory: a dictation that cannot be stored is recognized and delivered all the same, announced
// with the folder and the reason, and leaves no part of its record behind.
TEST_F(ControllerTest, ADictationThatCannotBeStoredIsDeliveredAnnouncedAndLeavesNothing) {
    loadModel();
    std::vector<QString> announced;
    QObject::connect(state.get(), &WhisperState::recordingNotStored,
                     [&announced](const QString& message) { announced.push_back(message); });
    const std::string recordings = recordingsDirectory().string();
    const auto expectDeliveredAndNothingStored = [&](const std::string& reason) {
        ASSERT_EQ(announced.size(), 1u) << reason;
        EXPECT_EQ(announced[0].toStdString(), "This dictation could not be saved in " + recordings + " (" + reason +
                                                  "). Its text was delivered all the same and is on the clipboard.");
        EXPECT_EQ(pasteboard->contents, "hello");
        EXPECT_EQ(poster->pastes, completions.load());
        EXPECT_EQ(state->currentState(), RecordingState::ready);
        EXPECT_TRUE(recordingFolders().empty());
        EXPECT_TRUE(fetchRecordings().empty());
        announced.clear();
        pasteboard->contents.reset();
    };

    {
        // The audio does not fit: 20,044 bytes.
        const FileSizeLimit disk(4096);
        CapturedLog log;
        dictate(speechThenSilence());
        EXPECT_EQ(log.lines().back(), "Could not write wav file");
    }
    EXPECT_EQ(completions, 1);
    expectDeliveredAndNothingStored("File too large");

    {
        // The audio and result.txt fit, meta.json with its long prompt (each character written as \u0001) does not.
        settings.setString("activePrompt", std::string(30000, '\x01'));
        const FileSizeLimit disk(21000);
        CapturedLog log;
        dictate(speechThenSilence());
        EXPECT_EQ(log.lines().back(), "Unable to write metadata file: File too large");
    }
    EXPECT_EQ(completions, 2);
    expectDeliveredAndNothingStored("File too large");
}

TEST_F(ControllerTest, NoPlaceForTheRecordingsIsAnnouncedWithTheFolderThatCouldNotBeMade) {
    fs::create_directories(home.documents());
    std::ofstream(home.documents() / "vellumcaster") << "a file where the folder belongs";
    loadModel();
    std::vector<QString> announced;
    QObject::connect(state.get(), &WhisperState::recordingNotStored,
                     [&announced](const QString& message) { announced.push_back(message); });
    dictate(speechThenSilence());
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_TRUE(announced[0].startsWith(QString::fromStdString("This dictation could not be saved in " +
                                                               recordingsDirectory().string() + " (Not a directory)")))
        << announced[0].toStdString();
    EXPECT_EQ(pasteboard->contents, "hello");
    EXPECT_EQ(completions, 1);

    // Without text the clipboard stays as it was, and the notice does not point to it.
    recognizer.defaultSegments = {};
    dictate(speechThenSilence());
    ASSERT_EQ(announced.size(), 2u);
    EXPECT_TRUE(announced[1].endsWith("(Not a directory), and no text was recognized in it."))
        << announced[1].toStdString();
    EXPECT_EQ(pasteboard->contents, "hello");
}

// Fast presses: a take with nothing to recognize leaves no folder, runs no recognition and rests without a word.
TEST_F(ControllerTest, ATakeWithNothingToRecognizeLeavesNothingAndRestsQuietly) {
    loadModel();
    CapturedLog log;
    // No buffer at all, a short quiet one, and a long one below the trim's threshold.
    for (const std::vector<float>& take : {std::vector<float>(), std::vector<float>(800, 0.01f),
                                           std::vector<float>(20000, 0.03f)}) {
        if (take.empty()) {
            state->startRecording();
            vctest::drain();
        } else {
            record(take);
        }
        EXPECT_FALSE(state->stopRecording());
        vctest::drain();
        EXPECT_EQ(state->currentState(), RecordingState::ready);
    }
    EXPECT_TRUE(recordingFolders().empty());
    EXPECT_TRUE(recognizer.runs().empty());
    EXPECT_TRUE(pasteboard->events.empty());
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(log.lines(), std::vector<std::string>{});
}

TEST_F(ControllerTest, LoadModelFailures) {
    CapturedLog log;
    try {
        state->loadModel();
        FAIL() << "no error";
    } catch (const WhisperStateError& error) {
        EXPECT_EQ(error.errorCase(), WhisperStateError::Case::couldNotLocateModel);
    }
    EXPECT_TRUE(log.lines().empty());

    loadModel();
    const auto loaded = state->whisperContext();
    settings.setString("activeModelKey", "base");
    const fs::path broken = modelsFolderURL() / modelFileName("base", "en");
    enginetest::writeFakeModel(broken, "broken");
    try {
        state->loadModel();
        FAIL() << "no error";
    } catch (const WhisperStateError& error) {
        EXPECT_EQ(error.errorCase(), WhisperStateError::Case::couldNotLoadModel);
    }
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Couldn't load model at " + broken.string(), "Failed to load model base"}));
    EXPECT_EQ(state->whisperContext(), loaded);
    EXPECT_EQ(state->loadedModel(), "small");
}

TEST(CopyToPasteboard, RefusedTextIsLoggedAndTheClipboardStaysCleared) {
    auto pasteboard = std::make_shared<FakePasteboard>();
    pasteboard->contents = "old";
    pasteboard->accepts = false;
    Pasteboard::setGeneral(pasteboard);
    CapturedLog log;
    copyToPasteboard("new");
    Pasteboard::setGeneral(nullptr);
    EXPECT_EQ(pasteboard->contents, std::nullopt);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Error setting clipboard value"});
}

}  // namespace
