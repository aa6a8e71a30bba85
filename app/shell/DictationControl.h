#pragma once

#include "shell/TranscriptionController.h"

#include <QString>

#include <atomic>
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

    // The hot key's release, a plain status click and "Start dictating". Runs on a background task.
    void toggleRecording();
    // The Escape hot key.
    void cancelRecording();
    // Awaited by the controller once a dictation is stored.
    void recordingCompleted();
    // Plays a sound resource, unless sound effects are stored as off, at the stored volume.
    void playSound(const std::string& name, const std::string& extension);

    std::shared_ptr<TranscriptionController> controller() const;
    bool isInitializing() const { return initializing_; }

    // The stored volume as a float; 1.0 when absent or not a number.
    static float storedSoundEffectVolume(const SettingsStore& settings);
    // What a user without the file of a model must know: which file is missing, where it is looked for and how to
    // get it.
    static std::string missingModelMessage(const std::string& key, const std::string& language);

private:
    // The text of the "Could not load model" alert for what the controller threw.
    static QString loadFailureMessage(const std::exception& error);
    bool recordingViewEnabled() const;
    bool closeRecordingViewEnabled() const;

    SettingsStore& settings_;
    Environment env_;
    mutable std::mutex controllerMutex_;
    std::shared_ptr<TranscriptionController> controller_;
    // True while a toggle creates the controller or loads a model; other presses are dropped meanwhile.
    std::atomic<bool> initializing_{false};
};
