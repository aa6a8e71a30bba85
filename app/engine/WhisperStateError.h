#pragma once

#include <exception>
#include <filesystem>
#include <string>

// Why the controller could not load the chosen model. Thrown by WhisperState::loadModel.
class WhisperStateError : public std::exception {
public:
    enum class Case {
        couldNotLocateModel,  // the model file for the model and language is not on disk
        couldNotLoadModel,    // the recognizer could not be created from the file
    };

    // `modelFile`: the file that could not be loaded, when the error is about one.
    explicit WhisperStateError(Case errorCase, std::filesystem::path modelFile = {});

    Case errorCase() const { return case_; }
    const std::filesystem::path& modelFile() const { return modelFile_; }
    bool operator==(const WhisperStateError& other) const { return case_ == other.case_; }
    const std::string& errorDescription() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    Case case_;
    std::string description_;
    std::filesystem::path modelFile_;
};
