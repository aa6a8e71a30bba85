#include "engine/Recognizer.h"

#include "engine/WhisperLibrary.h"

Recognizer& Recognizer::library() {
    static WhisperLibrary library;
    return library;
}
