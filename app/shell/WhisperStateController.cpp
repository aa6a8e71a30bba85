#include "shell/WhisperStateController.h"

#include <QCoreApplication>

WhisperStateController::WhisperStateController(std::shared_ptr<WhisperState> state) : state_(std::move(state)) {
    // Made on a background task; its forwarded signals must reach the GUI thread's views.
    if (const auto* app = QCoreApplication::instance()) moveToThread(app->thread());
    connect(state_.get(), &WhisperState::currentStateChanged, this, &TranscriptionController::changed);
    connect(state_.get(), &WhisperState::resultTextChanged, this, &TranscriptionController::changed);
    connect(state_.get(), &WhisperState::realtimeTextChanged, this, &TranscriptionController::changed);
    connect(state_.get(), &WhisperState::recordingNotStored, this, &TranscriptionController::recordingNotStored);
    connect(state_.get(), &WhisperState::noSoundCaptured, this, &TranscriptionController::noSoundCaptured);
    connect(state_.get(), &WhisperState::recognitionFailed, this, &TranscriptionController::recognitionFailed);
}
