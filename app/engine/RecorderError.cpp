#include "engine/RecorderError.h"

#include <utility>

#include "engine/ErrorCapture.h"

namespace {

std::string describe(RecorderError::Case errorCase, const std::string& deviceID) {
    using Case = RecorderError::Case;
    switch (errorCase) {
        case Case::couldNotFindAudioDevice:
            return "Could not find the audio device with ID " + deviceID +
                   ". Please check your device settings and try again.";
        case Case::deviceRecordPermissionNotGranted:
            return "Permission to record audio with device was not granted. Please allow access in your device "
                   "settings and try again.";
        case Case::couldNotAddAudioInput:
            return "Could not add audio input. Please check that your device is connected and try again. Open the "
                   "Sound settings on your device to you are seeing audio input.";
        case Case::couldNotAddAudioOutput:
            return "Could not add audio output. Please check your device settings and try again.";
        case Case::couldNotStartRecording:
            return "Could not start recording. Please check your device settings and try again.";
        case Case::audioDeviceNotAvailable:
            return "The audio device is not available or in use by another application. Please check your device "
                   "settings and try again.";
        case Case::soundServerUnreachable:
            return "The sound server cannot be reached. Please check that it is running and try again.";
        case Case::threadRefused:
            return "The system has no thread to spare for Vellumcaster right now, so the recording could not start. "
                   "Try again in a moment, or close other programs.";
    }
    return {};
}

}  // namespace

RecorderError::RecorderError(Case errorCase, std::string deviceID)
    : case_(errorCase), deviceID_(std::move(deviceID)), description_(describe(case_, deviceID_)) {}

RecorderError::RecorderError(Case errorCase) : RecorderError(errorCase, std::string()) {}

RecorderError RecorderError::couldNotFindAudioDevice(std::string deviceID) {
    return RecorderError(Case::couldNotFindAudioDevice, std::move(deviceID));
}

void RecorderError::capture() const { captureAppError("RecorderError", static_cast<std::int64_t>(case_), description_); }
