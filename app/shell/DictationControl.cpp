#include "shell/DictationControl.h"

#include "engine/Model.h"
#include "engine/WhisperStateError.h"
#include "platform/AppLog.h"
#include "platform/SettingsStore.h"

#include <QFile>

#include <exception>

namespace {

const QString iconIdle = QStringLiteral("Icon");
const QString iconLoading = QStringLiteral("IconLoading");
const QString iconRecording = QStringLiteral("IconRecording");
const QString iconWorking = QStringLiteral("IconWorking");
const QString iconComplete = QStringLiteral("IconComplete");

}  // namespace

DictationControl::DictationControl(SettingsStore& settings, Environment environment)
    : settings_(settings), env_(std::move(environment)) {}

std::shared_ptr<TranscriptionController> DictationControl::controller() const {
    std::lock_guard lock(controllerMutex_);
    return controller_;
}

bool DictationControl::recordingViewEnabled() const { return settings_.boolValue("recordingViewEnabled", true); }

bool DictationControl::closeRecordingViewEnabled() const {
    return settings_.boolValue("closeRecordingViewEnabled", true);
}

void DictationControl::toggleRecording() {
    if (initializing_) return;
    auto ws = controller();
    const auto needsModel = [](const TranscriptionController& c) {
        const auto loaded = c.loadedModel();
        return !loaded || *loaded != c.activeModelKey();
    };
    if (!ws || needsModel(*ws)) {
        // Creating the controller and loading a model are one guarded phase: a second press meanwhile is dropped,
        // so two quick presses never make two controllers or two loads. The flag is cleared on every way out.
        if (initializing_.exchange(true)) return;
        struct Release {
            std::atomic<bool>& flag;
            ~Release() { flag = false; }
        } release{initializing_};
        ws = controller();  // another press may have finished the phase in the meantime
        if (!ws) {
            env_.setStatusImage(iconLoading);
            ws = env_.makeController([this] { recordingCompleted(); });
            std::lock_guard lock(controllerMutex_);
            controller_ = ws;
        }
        if (needsModel(*ws)) {
            env_.setStatusImage(iconLoading);
            try {
                ws->loadModel();
            } catch (const std::exception& error) {
                // The press ends here with the hot key alive, so the user can retry once the model is there (or
                // pick another one).
                const auto* stateError = dynamic_cast<const WhisperStateError*>(&error);
                if (stateError && stateError->errorCase() == WhisperStateError::Case::couldNotLocateModel) {
                    // Not a resource problem: the file is not there (a first start without network). Say which
                    // file it is and how to get it.
                    const std::string message =
                        missingModelMessage(ws->activeModelKey(), settings_.stringValue("selectedLanguage", "en"));
                    AppLog::error(message);
                    env_.showAlert(QStringLiteral("Speech model missing"), QString::fromStdString(message));
                } else {
                    // The controller has logged and reported the failure.
                    env_.showAlert(QStringLiteral("Could not load model"), loadFailureMessage(error));
                }
                env_.setStatusImage(iconIdle);
                return;
            }
        }
    }

    switch (ws->currentState()) {
    case RecordingState::initializing:
    case RecordingState::processing:
        return;
    case RecordingState::ready:
        env_.setStatusImage(iconRecording);
        try {
            ws->startRecording();
        } catch (const std::exception& error) {
            env_.showAlert(QStringLiteral("Could not start recording"), QString::fromStdString(error.what()));
            // Nothing records, so the icon goes back to rest.
            env_.setStatusImage(iconIdle);
            return;
        }
        env_.registerEscapeHotKey();
        if (recordingViewEnabled()) env_.showRecordingWindow();
        return;
    case RecordingState::recording:
        env_.setStatusImage(iconWorking);
        if (!ws->stopRecording()) {
            // Nothing was stored or delivered, so no completion follows: the shell rests now.
            env_.dropEscapeHotKey();
            env_.hideRecordingWindow();
            env_.setStatusImage(iconIdle);
        }
        return;
    }
}

void DictationControl::cancelRecording() {
    auto ws = controller();
    if (!ws) return;
    env_.dropEscapeHotKey();
    env_.hideRecordingWindow();
    if (ws->currentState() != RecordingState::recording) return;
    ws->cancelRecording();
    env_.setStatusImage(iconIdle);
}

void DictationControl::recordingCompleted() {
    env_.postRecordingComplete();
    // Escape is only needed while recording; holding its grab longer would swallow the user's next Escape in any
    // application.
    env_.dropEscapeHotKey();
    if (recordingViewEnabled() && closeRecordingViewEnabled()) env_.hideRecordingWindow();
    env_.setStatusImage(iconComplete);
    playSound("recording-complete", "wav");
    env_.after(completeIconMilliseconds, [this] {
        // A dictation started in the meantime keeps its own icon.
        const auto ws = controller();
        if (ws && ws->currentState() == RecordingState::ready) env_.setStatusImage(iconIdle);
    });
}

std::string DictationControl::missingModelMessage(const std::string& key, const std::string& language) {
    const std::string fileName = modelFileName(key, language);
    return "The speech model file " + fileName + " is not in " + modelsFolderURL().string() +
           ". Download it in Settings... > AI Model > Download, or put the file into that folder yourself. Without "
           "access to the model repository, start Vellumcaster with VELLUMCASTER_MODEL_BASE_URL naming a mirror.";
}

QString DictationControl::loadFailureMessage(const std::exception& error) {
    const auto* stateError = dynamic_cast<const WhisperStateError*>(&error);
    if (!stateError || stateError->modelFile().empty()) {
        return QStringLiteral("Was unable to load up the selected model. Try restarting vellumcaster and quitting other "
                              "resource intensive applications.");
    }
    // A damaged or cut-off file stays where it is and would fail every time: say which file, and how to get out.
    return QStringLiteral("Was unable to load up the selected model from the file %1. If the file is damaged or "
                          "incomplete, delete it and download the model again in Settings.")
        .arg(QString::fromStdString(stateError->modelFile().string()));
}

float DictationControl::storedSoundEffectVolume(const SettingsStore& settings) {
    return float(settings.storedNumber("soundEffectVolume").value_or(1.0));
}

void DictationControl::playSound(const std::string& name, const std::string& extension) {
    // On unless stored as off: the settings page shows an absent key as on, and the shell must do what it shows.
    if (!settings_.boolValue("enableSoundEffects", true)) return;
    const float volume = storedSoundEffectVolume(settings_);
    const QString resource = QStringLiteral(":/%1.%2").arg(QString::fromStdString(name), QString::fromStdString(extension));
    if (!QFile::exists(resource)) {
        AppLog::error("Unable to find sound file with name '" + name + "' and extension '" + extension + "'.");
        return;
    }
    env_.playSound(resource, volume);
}
