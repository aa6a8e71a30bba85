#pragma once

#include <exception>
#include <string>

// Why the controller could not load the chosen model. Thrown by WhisperState::loadModel.
class WhisperStateError : public std::exception {
public:
    enum class Case {
        couldNotLocateModel,  // the model file for the model and language is not on disk
        couldNotLoadModel,    // the recognizer could not be created from the file
    };

    explicit WhisperStateError(Case errorCase);

    Case errorCase() const { return case_; }
    bool operator==(const WhisperStateError& other) const { return case_ == other.case_; }
    const std::string& errorDescription() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    Case case_;
    std::string description_;
};
