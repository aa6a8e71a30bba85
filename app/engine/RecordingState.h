#pragma once

#include <QMetaType>

// The dictation controller's state.
enum class RecordingState {
    initializing,
    ready,
    recording,
    processing,
};

Q_DECLARE_METATYPE(RecordingState)
