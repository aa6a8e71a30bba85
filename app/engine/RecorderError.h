#pragma once

#include <exception>
#include <string>

// Why a recording could not start (or, for audioDeviceNotAvailable and soundServerUnreachable, why it stopped on its
// own). Thrown by Recorder::startRecording.
class RecorderError : public std::exception {
public:
    enum class Case {
        couldNotFindAudioDevice,
        deviceRecordPermissionNotGranted,
        couldNotAddAudioInput,
        couldNotAddAudioOutput,
        couldNotStartRecording,
        audioDeviceNotAvailable,
        // Not the device: the sound server is not running, does not answer, or the connection to it broke.
        soundServerUnreachable,
        // Not the device nor the server: the system refused a thread that capture needs.
        threadRefused,
    };

    static RecorderError couldNotFindAudioDevice(std::string deviceID);
    // Any case but couldNotFindAudioDevice, which needs its device id.
    explicit RecorderError(Case errorCase);

    Case errorCase() const { return case_; }
    // The id carried by couldNotFindAudioDevice; empty for the other cases.
    const std::string& deviceID() const { return deviceID_; }
    // The text shown to the user.
    const std::string& errorDescription() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    // Hands the error to the reporting SDK (domain "vellumcaster.RecorderError", code = the case's index).
    void capture() const;

private:
    RecorderError(Case errorCase, std::string deviceID);

    Case case_;
    std::string deviceID_;
    std::string description_;
};
