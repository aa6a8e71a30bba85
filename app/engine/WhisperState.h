#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/Recognizer.h"
#include "engine/RecordingState.h"
#include "engine/WhisperContext.h"

class Recorder;
class SettingsStore;

// The controller of one dictation at a time: loads the model, starts and stops the recorder, recognizes the trimmed
// samples, stores result.txt and meta.json beside the recording's output.wav, and delivers the text to the clipboard
// and the focused application. With realtime results on it also recognizes the recorder's chunks while the user
// speaks and gathers their text.
//
// The operations block and run on background tasks. The published values change on the GUI thread only, each through
// a queued call, so a change lands after the operation that asked for it has moved on; every value the background
// tasks share with the GUI thread is guarded by one mutex. Settings are read live at every use.
class WhisperState : public QObject, public std::enable_shared_from_this<WhisperState> {
    Q_OBJECT
    Q_PROPERTY(QString resultText READ resultText NOTIFY resultTextChanged)
    Q_PROPERTY(QString realtimeText READ realtimeText NOTIFY realtimeTextChanged)
    Q_PROPERTY(RecordingState currentState READ currentState NOTIFY currentStateChanged)

public:
    // Called on the stopping task once a dictation has been saved; not ordered against the delivery.
    using CompletionHandler = std::function<void()>;

    // A controller in state ready, with no model loaded, that receives the recorder's realtime chunks. `recorder`
    // must outlive it.
    static std::shared_ptr<WhisperState> create(CompletionHandler onComplete, Recorder& recorder);
    static std::shared_ptr<WhisperState> create(CompletionHandler onComplete, Recorder& recorder,
                                                SettingsStore& settings, Recognizer& recognizer);
    ~WhisperState() override;

    QString resultText() const;
    QString realtimeText() const;
    RecordingState currentState() const;

    Recorder& recorder() const { return recorder_; }
    std::shared_ptr<WhisperContext> whisperContext() const;
    // The model id of whisperContext; none before the first successful load.
    std::optional<std::string> loadedModel() const;

    std::string activeModelKey() const;
    std::string selectedLanguage() const;
    bool enableLiteralPunctuation() const;
    bool enableTranslation() const;
    std::string selectedDeviceID() const;
    // The stored prompt within its bound (Prompt): what the recognizer is given and the record stores.
    std::string activePrompt() const;
    bool autoPasteEnabled() const;

    // Loads the model file of activeModelKey and selectedLanguage. Throws WhisperStateError: couldNotLocateModel when
    // the file is not there (nothing logged), couldNotLoadModel with the file's path when the file is not a regular
    // file within the model size cap or the recognizer refuses it (logged and reported; the previous model stays).
    // The state does not change.
    void loadModel();
    // Clears the texts and enters recording, then starts the recorder; when that fails, goes back to ready and
    // rethrows the RecorderError.
    void startRecording();
    // Stops capture, then trims, saves, recognizes, stores and delivers the dictation. Never throws. A recognition
    // that does not run to its end (a quit, a failed run) is stored and delivered with the text it gave until then,
    // in a record that says so; a failed one is announced by recognitionFailed. A text that is empty (no voice found,
    // or nothing recognized before a failure) leaves the clipboard as it was and is not pasted. A dictation that
    // cannot be stored (a read-only or full disk) is recognized and
    // delivered all the same, leaves no part of its record behind, and is announced by recordingNotStored. False when
    // the take holds nothing to recognize (a press too short or too quiet): the dictation then ends in state ready
    // with nothing stored or delivered and without calling the completion handler; only a take of more than a quarter
    // second made of nothing but exact zeros (a microphone that delivers no sound) is announced, by noSoundCaptured.
    bool stopRecording();
    // Discards a dictation that is recording; does nothing in any other state.
    void cancelRecording();
    // The recorder's realtime chunk handler: recognizes `samples` after the text gathered so far and appends the
    // result to realtimeText. Runs in any state; nothing is stored or delivered.
    std::string runRealtimeTranscription(std::vector<float> samples);
    // Ends the recognition that runs now early and every later one at once: the application is quitting and must not
    // wait for it. A dictation being stopped is stored with the text recognized so far, in a record that says its
    // recognition did not finish. Called when the application's event loop ends.
    void stopTranscribing();

signals:
    void resultTextChanged();
    void realtimeTextChanged();
    void currentStateChanged();
    // A stopped dictation could not be stored; `message` names the folder and the reason. Emitted on the stopping task.
    void recordingNotStored(const QString& message);
    // A stopped take held no sound at all, not even background noise: the microphone delivers nothing (it is broken,
    // muted in hardware or not connected). `message` says so. Emitted on the stopping task.
    void noSoundCaptured(const QString& message);
    // The recognition of a stored dictation failed (not when the application quits during it); `message` says that
    // its recording is kept in History. Emitted on the stopping task.
    void recognitionFailed(const QString& message);

private:
    WhisperState(CompletionHandler onComplete, Recorder& recorder, SettingsStore& settings, Recognizer& recognizer);

    // Runs `work` on the GUI thread later, keeping this object alive until then.
    void dispatchToMain(std::function<void(WhisperState&)> work);
    void setState(RecordingState state);
    std::string postProcessText(const std::string& text) const;
    // The cleaned text of `samples`; `finished`, when given, tells whether a recognition ran to its end (not when no
    // model is loaded, the application is quitting or the recognizer failed).
    std::string transcribeSamples(std::span<const float> samples, const std::optional<std::string>& context,
                                  bool* finished = nullptr);
    // Stores `text`, as the transcription cleaned it, beside `wavFile` (none when the audio could not be stored),
    // then delivers it. It is not cleaned again: that would remove the signs that spoken punctuation words became.
    // A record of a recognition that did not run to its end says so.
    void saveRecordingMetadata(const std::string& text, const std::optional<std::filesystem::path>& wavFile,
                               std::uint64_t startMark, bool recognitionFinished);
    void writeResultText(const std::string& text, const std::filesystem::path& wavFile);
    void reportNotStored(const std::filesystem::filesystem_error& error, const std::string& text);
    void cancelCore();
    bool transcribingStopped() const;
    void deliverResult(const std::string& text);

    // GUI thread only.
    void assignState(RecordingState state);
    void assignResultText(const QString& text);
    void assignRealtimeText(const QString& text);

    const CompletionHandler onComplete_;
    Recorder& recorder_;
    SettingsStore& settings_;
    Recognizer& recognizer_;

    mutable std::mutex mutex_;  // guards every field below
    QString resultText_;
    QString realtimeText_;
    RecordingState currentState_ = RecordingState::initializing;
    std::shared_ptr<WhisperContext> whisperContext_;
    std::optional<std::string> loadedModel_;
    bool transcribingStopped_ = false;
};
