#include "engine/WhisperState.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <utility>

#include "engine/CopyToPasteboard.h"
#include "engine/ErrorCapture.h"
#include "engine/Language.h"
#include "engine/Model.h"
#include "engine/PasteFromClipboard.h"
#include "engine/PostProcessText.h"
#include "engine/Recorder.h"
#include "engine/Recording.h"
#include "engine/RecordingMetadata.h"
#include "engine/WavFile.h"
#include "engine/WhisperError.h"
#include "engine/WhisperStateError.h"
#include "platform/AppLog.h"
#include "platform/FileIO.h"
#include "platform/MonotonicClock.h"
#include "platform/OutputWriter.h"
#include "platform/Prompt.h"
#include "platform/SettingsStore.h"

namespace fs = std::filesystem;

std::shared_ptr<WhisperState> WhisperState::create(CompletionHandler onComplete, Recorder& recorder) {
    return create(std::move(onComplete), recorder, SettingsStore::standard(), Recognizer::library());
}

std::shared_ptr<WhisperState> WhisperState::create(CompletionHandler onComplete, Recorder& recorder,
                                                   SettingsStore& settings, Recognizer& recognizer) {
    std::shared_ptr<WhisperState> state(new WhisperState(std::move(onComplete), recorder, settings, recognizer));
    // The GUI thread owns the object even when a background task creates it.
    if (QCoreApplication* app = QCoreApplication::instance(); app && state->thread() != app->thread()) {
        state->moveToThread(app->thread());
    }
    // The handler holds the controller weakly: a chunk that arrives after the controller is gone gets no text.
    std::weak_ptr<WhisperState> weak = state;
    recorder.setOnVoiceDetected([weak](std::vector<float> chunk) {
        const auto self = weak.lock();
        return self ? self->runRealtimeTranscription(std::move(chunk)) : std::string();
    });
    // A quit must not wait for a recognition, which takes over a minute for a long take.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, state.get(),
                         [self = state.get()] { self->stopTranscribing(); });
    }
    {
        std::lock_guard lock(state->mutex_);
        state->currentState_ = RecordingState::ready;  // directly: nobody observes the new object yet
    }
    return state;
}

WhisperState::WhisperState(CompletionHandler onComplete, Recorder& recorder, SettingsStore& settings,
                           Recognizer& recognizer)
    : onComplete_(std::move(onComplete)), recorder_(recorder), settings_(settings), recognizer_(recognizer) {}

WhisperState::~WhisperState() = default;

QString WhisperState::resultText() const {
    std::lock_guard lock(mutex_);
    return resultText_;
}

QString WhisperState::realtimeText() const {
    std::lock_guard lock(mutex_);
    return realtimeText_;
}

RecordingState WhisperState::currentState() const {
    std::lock_guard lock(mutex_);
    return currentState_;
}

std::shared_ptr<WhisperContext> WhisperState::whisperContext() const {
    std::lock_guard lock(mutex_);
    return whisperContext_;
}

std::optional<std::string> WhisperState::loadedModel() const {
    std::lock_guard lock(mutex_);
    return loadedModel_;
}

std::string WhisperState::activeModelKey() const { return settings_.stringValue("activeModelKey", "small"); }
std::string WhisperState::selectedLanguage() const { return settings_.stringValue("selectedLanguage", "en"); }
bool WhisperState::enableLiteralPunctuation() const { return settings_.boolValue("enableLiteralPunctuation", false); }
bool WhisperState::enableTranslation() const { return settings_.boolValue("enableTranslation", false); }
std::string WhisperState::selectedDeviceID() const { return settings_.stringValue("selectedDeviceID", ""); }
std::string WhisperState::activePrompt() const { return Prompt::bounded(settings_.stringValue("activePrompt", "")); }
bool WhisperState::autoPasteEnabled() const { return settings_.boolValue("autoPasteEnabled", true); }

void WhisperState::loadModel() {
    const std::string key = activeModelKey();
    const std::string language = selectedLanguage();
    if (!isModelDownloaded(key, language)) throw WhisperStateError(WhisperStateError::Case::couldNotLocateModel);
    const fs::path path = modelsFolderURL() / modelFileName(key, language);
    std::shared_ptr<WhisperContext> context;
    try {
        context = WhisperContext::createContext(path.string(), recognizer_);
    } catch (const WhisperError& error) {
        AppLog::error("Failed to load model " + key);
        error.capture();
        throw WhisperStateError(WhisperStateError::Case::couldNotLoadModel, path);
    }
    std::shared_ptr<WhisperContext> previous;
    {
        std::lock_guard lock(mutex_);
        if (transcribingStopped_) context->abort();
        previous = std::exchange(whisperContext_, std::move(context));
        // The key whose file was loaded, even if the setting changed meanwhile: the shell then reloads.
        loadedModel_ = key;
    }
    // `previous` is freed here, or later by a run that still holds it.
}

void WhisperState::startRecording() {
    // Texts and state in one GUI-thread turn: a start that fails right away queues its `ready` after it.
    dispatchToMain([](WhisperState& self) {
        self.assignResultText(QString());
        self.assignRealtimeText(QString());
        self.assignState(RecordingState::recording);
    });
    try {
        recorder_.startRecording();
    } catch (...) {
        if (const auto session = recorder_.captureSession()) session->stopRunning();
        recorder_.setCaptureSession(nullptr);
        setState(RecordingState::ready);
        throw;
    }
}

bool WhisperState::stopRecording() {
    setState(RecordingState::processing);
    if (const auto session = recorder_.captureSession()) session->stopRunning();
    recorder_.setCaptureSession(nullptr);

    const std::uint64_t startMark = MonotonicClock::nowMilliseconds();
    const std::vector<float> captured = recorder_.rawFloatData();
    const std::vector<float> samples = Recorder::trimForTranscription(captured, 0.04f);
    OutputWriter::write(OutputWriter::Stream::output, std::to_string(captured.size()));
    OutputWriter::write(OutputWriter::Stream::output, std::to_string(samples.size()));

    if (samples.empty()) {
        // A press too short or too quiet to hold speech: nothing to store or recognize, and nothing to tell. But a
        // take of pure zeros is no quiet room, which always leaves some noise: the microphone delivers nothing.
        AppLog::info("Nothing was recorded");
        setState(RecordingState::ready);
        if (captured.size() > std::size_t(Recorder::sampleRate) / 4 &&
            std::all_of(captured.begin(), captured.end(), [](float sample) { return sample == 0.0f; })) {
            AppLog::error("The microphone delivered no sound at all");
            emit noSoundCaptured(QStringLiteral("The microphone delivered no sound at all during this dictation, not "
                                                "even background noise. Check that it is connected and not muted, or "
                                                "choose another microphone in Settings."));
        }
        return false;
    }

    std::optional<fs::path> wavFile;
    std::optional<fs::filesystem_error> notStored;
    try {
        wavFile = Recorder::saveRecording(samples);
    } catch (const fs::filesystem_error& error) {
        AppLog::error("Could not write wav file");
        // The samples are in memory: the text still reaches the user, who is told once it is known.
        notStored = error;
    }
    // The take is listed once its record is there, however this stop ends.
    const struct Release {
        const std::optional<fs::path>& wavFile;
        ~Release() {
            if (wavFile) releaseRecordingFolder(wavFile->parent_path());
        }
    } release{wavFile};
    bool finished = false;
    const std::string text = transcribeSamples(samples, std::nullopt, &finished);
    if (notStored) reportNotStored(*notStored, text);
    saveRecordingMetadata(text, wavFile, startMark, finished);
    return true;
}

void WhisperState::cancelRecording() {
    if (currentState() != RecordingState::recording) return;
    // Released, not stopped: a released session ends capture by itself.
    recorder_.setAudioDataOutput(nullptr);
    recorder_.setCaptureSession(nullptr);
    cancelCore();
}

void WhisperState::cancelCore() {
    dispatchToMain([](WhisperState& self) {
        self.assignResultText(QString());
        self.assignRealtimeText(QString());
        self.setState(RecordingState::ready);
    });
}

std::string WhisperState::runRealtimeTranscription(std::vector<float> samples) {
    const std::string context = realtimeText().toStdString();
    const std::string text = transcribeSamples(samples, context);
    dispatchToMain([text](WhisperState& self) {
        self.assignRealtimeText(self.realtimeText() + QChar(' ') + QString::fromStdString(text));
    });
    return text;
}

bool WhisperState::transcribingStopped() const {
    std::lock_guard lock(mutex_);
    return transcribingStopped_;
}

void WhisperState::stopTranscribing() {
    std::shared_ptr<WhisperContext> context;
    {
        std::lock_guard lock(mutex_);
        transcribingStopped_ = true;
        context = whisperContext_;
    }
    if (context) context->abort();
}

std::string WhisperState::postProcessText(const std::string& text) const {
    return ::postProcessText(text, enableLiteralPunctuation());
}

std::string WhisperState::transcribeSamples(std::span<const float> samples, const std::optional<std::string>& context,
                                            bool* finished) {
    std::string prompt = activePrompt();
    if (context) prompt += " " + *context;
    const std::shared_ptr<WhisperContext> whisper = whisperContext();
    if (!whisper) {
        if (finished) *finished = false;
        return postProcessText("");
    }
    // The run and the read of its segments share one turn on the recognizer, so the text is this run's own.
    return postProcessText(
        whisper->transcribe(samples, prompt, selectedLanguage(), enableTranslation(), false, finished));
}

void WhisperState::saveRecordingMetadata(const std::string& text, const std::optional<fs::path>& wavFile,
                                         std::uint64_t startMark, bool recognitionFinished) {
    const std::uint64_t endMark = MonotonicClock::nowMilliseconds();
    if (wavFile) {
        try {
            writeResultText(text, *wavFile);
            const auto processingTime = std::int64_t(endMark - startMark);
            try {
                writeRecordingMetadata(wavFile->parent_path() / "meta.json", activeModelKey(),
                                       wavDurationMilliseconds(*wavFile), processingTime, selectedDeviceID(),
                                       selectedLanguage(), enableLiteralPunctuation(), enableTranslation(),
                                       activePrompt(), text, text, recognitionFinished);
            } catch (const fs::filesystem_error& error) {
                captureSystemError(error.code(), error.code().message());
                AppLog::error("Unable to write metadata file: " + error.code().message());
                throw;
            }
            if (!recognitionFinished && !transcribingStopped()) {
                QString message = tr("This dictation could not be transcribed. Its recording is kept in History.");
                // A language stored by hand, or by a later version, is passed on as it is; the model refuses it.
                if (const std::string language = selectedLanguage(); !isKnownLanguage(language)) {
                    message += tr(" The speech model does not know the language \"%1\" that the settings name: "
                                  "choose a language in Settings... > AI Model.")
                                   .arg(QString::fromStdString(language));
                }
                emit recognitionFailed(message);
            }
        } catch (const fs::filesystem_error& error) {
            // A record is whole or absent: without its texts the audio goes too.
            std::error_code ignored;
            fs::remove_all(wavFile->parent_path(), ignored);
            reportNotStored(error, text);
        }
    }
    dispatchToMain([text](WhisperState& self) { self.deliverResult(text); });
    if (onComplete_) onComplete_();
}

void WhisperState::writeResultText(const std::string& text, const fs::path& wavFile) {
    try {
        FileIO::writeAtomically(wavFile.parent_path() / "result.txt", text);
    } catch (const fs::filesystem_error& error) {
        AppLog::error(std::string("Error writing file: ") + error.what());
        captureSystemError(error.code(), error.code().message());
        AppLog::error(error.code().message());
        throw;
    }
}

void WhisperState::reportNotStored(const fs::filesystem_error& error, const std::string& text) {
    fs::path folder;
    try {
        folder = recordingsDirectory();
    } catch (const fs::filesystem_error&) {
        folder = error.path1();  // not even the documents folder could be made
    }
    // Without text the clipboard was left as it was: there is nothing to point to.
    const QString message =
        text.empty() ? tr("This dictation could not be saved in %1 (%2), and no text was recognized in it.")
                     : tr("This dictation could not be saved in %1 (%2). Its text was delivered all the same and is on "
                          "the clipboard.");
    emit recordingNotStored(
        message.arg(QString::fromStdString(folder.string()), QString::fromStdString(error.code().message())));
}

void WhisperState::deliverResult(const std::string& text) {
    assignResultText(QString::fromStdString(text));
    setState(RecordingState::ready);
    // No voice found, or a recognition that failed: what the user had copied stays, and nothing is pasted.
    if (text.empty()) return;
    copyToPasteboard(resultText().toStdString());
    if (autoPasteEnabled()) pasteFromClipboard();
}

void WhisperState::dispatchToMain(std::function<void(WhisperState&)> work) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [self = shared_from_this(), work = std::move(work)] { work(*self); },
        Qt::QueuedConnection);
}

void WhisperState::setState(RecordingState state) {
    dispatchToMain([state](WhisperState& self) { self.assignState(state); });
}

void WhisperState::assignState(RecordingState state) {
    {
        std::lock_guard lock(mutex_);
        if (currentState_ == state) return;
        currentState_ = state;
    }
    emit currentStateChanged();
}

void WhisperState::assignResultText(const QString& text) {
    {
        std::lock_guard lock(mutex_);
        if (resultText_ == text) return;
        resultText_ = text;
    }
    emit resultTextChanged();
}

void WhisperState::assignRealtimeText(const QString& text) {
    {
        std::lock_guard lock(mutex_);
        if (realtimeText_ == text) return;
        realtimeText_ = text;
    }
    emit realtimeTextChanged();
}
