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

void DictationControl::toggleRecording() { handle(Request::toggle); }

void DictationControl::cancelRecording() {
    if (!controller()) return;
    env_.dropEscapeHotKey();
    env_.hideRecordingWindow();
    handle(Request::cancel);
}

void DictationControl::handle(Request request) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(request);
        if (answering_) return;
        answering_ = true;
    }
    for (;;) {
        Request next;
        {
            std::lock_guard lock(queueMutex_);
            if (queue_.empty()) {
                answering_ = false;
                return;
            }
            next = queue_.front();
            queue_.pop_front();
        }
        if (next == Request::toggle) {
            toggle();
        } else {
            cancel();
        }
    }
}

std::size_t DictationControl::queuedRequests() const {
    std::lock_guard lock(queueMutex_);
    return queue_.size();
}

void DictationControl::dropRequestsAfter(std::size_t kept) {
    std::lock_guard lock(queueMutex_);
    if (queue_.size() > kept) queue_.resize(kept);
}

void DictationControl::toggle() {
    auto ws = controller();
    if (!ws) {
        env_.setStatusImage(iconLoading);
        ws = env_.makeController([this] { recordingCompleted(); });
        std::lock_guard lock(controllerMutex_);
        controller_ = ws;
    }
    // Decided on what the earlier requests did: the controller publishes its state later, on the GUI thread, so a
    // press right after another would still read the state from before it.
    if (recording_) {
        // The recording ends with the model it was started with: a model chosen meanwhile is loaded before the next
        // start, so that a load that fails never keeps a recording from being stopped.
        stop(*ws);
        return;
    }
    const auto loaded = ws->loadedModel();
    if (!loaded || *loaded != ws->activeModelKey()) {
        env_.setStatusImage(iconLoading);
        const std::size_t queuedBefore = queuedRequests();
        try {
            ws->loadModel();
        } catch (const std::exception& error) {
            // The press ends here with the hot key alive, so the user can retry once the model is there (or pick
            // another one); the presses made while it failed are answered by the alert.
            const auto* stateError = dynamic_cast<const WhisperStateError*>(&error);
            if (stateError && stateError->errorCase() == WhisperStateError::Case::couldNotLocateModel) {
                // Not a resource problem: the file is not there (a first start without network). Say which file it
                // is and how to get it.
                const std::string message =
                    missingModelMessage(ws->activeModelKey(), settings_.stringValue("selectedLanguage", "en"));
                AppLog::error(message);
                env_.showAlert(QStringLiteral("Speech model missing"), QString::fromStdString(message));
            } else {
                // The controller has logged and reported the failure.
                env_.showAlert(QStringLiteral("Could not load model"), loadFailureMessage(error));
            }
            env_.setStatusImage(iconIdle);
            dropRequestsAfter(queuedBefore);
            return;
        }
    }

    const std::size_t queuedBefore = queuedRequests();
    env_.setStatusImage(iconRecording);
    try {
        ws->startRecording();
    } catch (const std::exception& error) {
        env_.showAlert(QStringLiteral("Could not start recording"), QString::fromStdString(error.what()));
        // Nothing records, so the icon goes back to rest.
        env_.setStatusImage(iconIdle);
        dropRequestsAfter(queuedBefore);
        return;
    }
    recording_ = true;
    env_.registerEscapeHotKey();
    if (recordingViewEnabled()) env_.showRecordingWindow();
}

void DictationControl::stop(TranscriptionController& ws) {
    const std::size_t queuedBefore = queuedRequests();
    recording_ = false;
    env_.setStatusImage(iconWorking);
    if (!ws.stopRecording()) {
        // Nothing was stored or delivered, so no completion follows: the shell rests now.
        env_.dropEscapeHotKey();
        env_.hideRecordingWindow();
        env_.setStatusImage(iconIdle);
        return;
    }
    // Nothing starts while a dictation is being recognized: the presses made meanwhile are dropped.
    dropRequestsAfter(queuedBefore);
}

void DictationControl::cancel() {
    if (!recording_) return;
    recording_ = false;
    controller()->cancelRecording();
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
