#pragma once

#include "engine/RecordingState.h"

#include <QObject>
#include <QString>

#include <optional>
#include <string>

// What the dictation control needs of the transcription controller. Every member may be called from any thread;
// the operations block until done (they run on background tasks) and throw where the controller throws. The texts
// and the state that views show change on the GUI thread, announced by `changed`.
class TranscriptionController : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual RecordingState currentState() const = 0;
    virtual std::optional<std::string> loadedModel() const = 0;
    virtual std::string activeModelKey() const = 0;

    virtual void loadModel() = 0;
    virtual void startRecording() = 0;
    // False when the take held nothing to recognize: nothing is stored or delivered then and the completion handler
    // is not called.
    virtual bool stopRecording() = 0;
    virtual void cancelRecording() = 0;

    virtual QString resultText() const = 0;
    virtual QString realtimeText() const = 0;

signals:
    // The state, the result text or the realtime text changed.
    void changed();
    // A stopped dictation could not be stored (it is delivered all the same); `message` says where and why.
    void recordingNotStored(const QString& message);
    // A stopped take held no sound at all (the microphone delivers none); `message` says so.
    void noSoundCaptured(const QString& message);
    // The recognition of a stored dictation failed; `message` says that its recording is kept in History.
    void recognitionFailed(const QString& message);
};
