#pragma once

#include "engine/WhisperState.h"
#include "shell/TranscriptionController.h"

#include <memory>

// The dictation control's view of the engine's controller.
class WhisperStateController : public TranscriptionController {
    Q_OBJECT

public:
    explicit WhisperStateController(std::shared_ptr<WhisperState> state);

    RecordingState currentState() const override { return state_->currentState(); }
    std::optional<std::string> loadedModel() const override { return state_->loadedModel(); }
    std::string activeModelKey() const override { return state_->activeModelKey(); }

    void loadModel() override { state_->loadModel(); }
    void startRecording() override { state_->startRecording(); }
    bool stopRecording() override { return state_->stopRecording(); }
    void cancelRecording() override { state_->cancelRecording(); }

    QString resultText() const override { return state_->resultText(); }
    QString realtimeText() const override { return state_->realtimeText(); }

private:
    std::shared_ptr<WhisperState> state_;
};
