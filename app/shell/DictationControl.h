#pragma once

#include "shell/TranscriptionController.h"

#include <QString>

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class SettingsStore;

// Drives a dictation from the hot key: creates the transcription controller on the first toggle, loads the model,
// starts and stops recordings, cancels with Escape and finishes a delivered dictation with the complete icon, the
// sound and, five seconds later, the idle icon again. The toggle, cancel and completion run on background tasks; the
// status image, the recording window, hot-key changes and alerts are handed to the environment, which carries them to
// the GUI thread in the order asked.
//
// Presses and Escapes take effect one after another in the order they came, each on what the ones before it did, so
// every press counts: an even number of presses ends at rest, also when they come while the model loads. Only presses
// made while a dictation is being recognized, and those made while a load or a start fails, are dropped.
class DictationControl {
public:
    using Task = std::function<void()>;

    struct Environment {
        // Creates the controller, which awaits `onComplete` after every saved dictation.
        std::function<std::shared_ptr<TranscriptionController>(Task onComplete)> makeController;
        std::function<void(const QString& name)> setStatusImage;
        Task showRecordingWindow;
        Task hideRecordingWindow;
        Task registerEscapeHotKey;
        Task dropEscapeHotKey;
        std::function<void(const QString& title, const std::optional<QString>& message)> showAlert;
        // Posts the notification "recordingComplete".
        Task postRecordingComplete;
        // Starts playing the sound resource at this path at this volume and returns at once.
        std::function<void(const QString& resource, float volume)> playSound;
        // Runs the task on the GUI thread after the delay.
        std::function<void(int milliseconds, Task task)> after;
    };

    static constexpr int completeIconMilliseconds = 5000;

    DictationControl(SettingsStore& settings, Environment environment);

    // The hot key's release, a plain status click and "Start dictating". Runs on a background task; returns at once
    // while another task is answering earlier presses, which then answers this one too.
    void toggleRecording();
    // The Escape hot key: hides the recording window and releases Escape at once, and discards the recording in turn
    // with the presses.
    void cancelRecording();
    // Awaited by the controller once a dictation is stored.
    void recordingCompleted();
    // Plays a sound resource, unless sound effects are stored as off, at the stored volume.
    void playSound(const std::string& name, const std::string& extension);

    std::shared_ptr<TranscriptionController> controller() const;

    // The stored volume as a float; 1.0 when absent or not a number.
    static float storedSoundEffectVolume(const SettingsStore& settings);
    // What a user without the file of a model must know: which file is missing, where it is looked for and how to
    // get it.
    static std::string missingModelMessage(const std::string& key, const std::string& language);

private:
    enum class Request { toggle, cancel };

    // Queues the request and answers the queue on this task, unless another task does already.
    void handle(Request request);
    // Starts a recording, loading the chosen model first when it is not the loaded one, or stops the recording.
    void toggle();
    // Stops the recording and hands it to the recognition; drops the presses made meanwhile.
    void stop(TranscriptionController& ws);
    void cancel();
    // Drops the requests that came after the first `kept` of the queue.
    void dropRequestsAfter(std::size_t kept);
    std::size_t queuedRequests() const;
    // The text of the "Could not load model" alert for what the controller threw.
    static QString loadFailureMessage(const std::exception& error);
    bool recordingViewEnabled() const;
    bool closeRecordingViewEnabled() const;

    SettingsStore& settings_;
    Environment env_;
    mutable std::mutex controllerMutex_;
    std::shared_ptr<TranscriptionController> controller_;

    mutable std::mutex queueMutex_;
    std::deque<Request> queue_;  // guarded by queueMutex_
    bool answering_ = false;     // guarded by queueMutex_: a task is answering the queue
    // Whether the controller records, as the requests answered so far left it (its published state follows later,
    // on the GUI thread). Touched only by the task answering the queue.
    bool recording_ = false;
};
