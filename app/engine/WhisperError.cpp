#include "engine/WhisperError.h"

#include <cstdint>

#include "engine/ErrorCapture.h"

// The error carries no text of its own, so it reads as the platform's generic one.
WhisperError::WhisperError(Case errorCase)
    : case_(errorCase),
      description_("The operation couldn’t be completed. (vellumcaster.WhisperError error " +
                   std::to_string(static_cast<int>(errorCase)) + ".)") {}

void WhisperError::capture() const {
    captureAppError("WhisperError", static_cast<std::int64_t>(case_), description_);
}
