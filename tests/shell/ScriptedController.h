#pragma once

#include "engine/WhisperStateError.h"
#include "shell/TranscriptionController.h"

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// A transcription controller whose answers a test sets; it records the operations it is asked for in `calls`.
// Start and stop move the state the way the engine's controller does once its queued changes have landed.
class ScriptedController : public TranscriptionController {
public:
    RecordingState state = RecordingState::ready;
    std::optional<std::string> loaded;
    std::string active = "small";
    bool failLoad = false;
    std::filesystem::path unloadableFile;  // when set, a failed load is the engine's error naming this file
    std::string failStart;  // the error text start throws with, when not empty
    bool missingModel = false;  // load throws as for a model file that is not there
    bool stopStores = true;     // false: stop ends without storing, as when no place for the audio is found
    std::vector<std::string>* calls = nullptr;
    std::function<void()> duringLoad;  // runs inside loadModel, as a press arriving meanwhile would
    std::function<void()> duringStop;  // runs inside stopRecording, as a press arriving during the recognition would

    RecordingState currentState() const override { return state; }
    std::optional<std::string> loadedModel() const override { return loaded; }
    std::string activeModelKey() const override { return active; }

    void loadModel() override {
        record("load");
        if (duringLoad) duringLoad();
        if (missingModel) throw WhisperStateError(WhisperStateError::Case::couldNotLocateModel);
        if (failLoad && !unloadableFile.empty()) {
            throw WhisperStateError(WhisperStateError::Case::couldNotLoadModel, unloadableFile);
        }
        if (failLoad) throw std::runtime_error("load failed");
        loaded = active;
    }
    void startRecording() override {
        record("start");
        if (!failStart.empty()) throw std::runtime_error(failStart);
        state = RecordingState::recording;
    }
    bool stopRecording() override {
        record("stop");
        if (duringStop) duringStop();
        state = stopStores ? RecordingState::processing : RecordingState::ready;
        return stopStores;
    }
    void cancelRecording() override {
        record("cancel");
        if (state == RecordingState::recording) state = RecordingState::ready;
    }
    QString resultText() const override { return {}; }
    QString realtimeText() const override { return {}; }

private:
    void record(const std::string& call) {
        if (calls) calls->push_back("controller." + call);
    }
};
