#pragma once

#include <exception>
#include <string>

// Why the recognizer wrapper could not be created. Thrown by WhisperContext::createContext.
class WhisperError : public std::exception {
public:
    enum class Case {
        couldNotInitializeContext,
    };

    explicit WhisperError(Case errorCase);

    Case errorCase() const { return case_; }
    bool operator==(const WhisperError& other) const { return case_ == other.case_; }
    const std::string& errorDescription() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    // Hands the error to the reporting SDK (domain "vellumcaster.WhisperError", code = the case's index).
    void capture() const;

private:
    Case case_;
    std::string description_;
};
