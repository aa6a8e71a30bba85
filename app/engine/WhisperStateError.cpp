#include "engine/WhisperStateError.h"

// The error carries no text of its own, so it reads as the platform's generic one.
WhisperStateError::WhisperStateError(Case errorCase, std::filesystem::path modelFile)
    : case_(errorCase),
      description_("The operation couldn’t be completed. (vellumcaster.WhisperStateError error " +
                   std::to_string(static_cast<int>(errorCase)) + ".)"),
      modelFile_(std::move(modelFile)) {}
