#pragma once

#include "platform/RepeatingTimer.h"
#include "platform/SoundPlayer.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>

// Plays a stored dictation from its start at full volume and follows the position ten times a second. A playback ends
// when the button stops it, when the sound has been played to its end (the mark is then back at the start), or when
// the sound fails (the sound server cannot be reached, or a thread was refused), which is then told; a stopped
// playback is never resumed: the next one starts a new sound from the beginning.
class RecordingPlayback : public QObject {
    Q_OBJECT

public:
    RecordingPlayback(SoundPlayer::Factory makePlayer, RepeatingTimer::Factory makeTimer, QObject* parent = nullptr);
    ~RecordingPlayback() override;

    bool playbackActive() const { return playbackActive_; }
    // The last position read from the sound, in seconds.
    double playbackTime() const { return playbackTime_; }
    // The sound of the current or the last playback; null before the first or when the file gave no sound.
    SoundPlayer* playbackSession() const { return playbackSession_.get(); }
    bool timerActive() const { return playbackTimer_ && playbackTimer_->isActive(); }
    // Why the last playback could not play, for the panel; empty when it did not fail.
    QString playbackProblem() const;

    // The play/pause button: stops a running playback, otherwise starts one of `audioURL`.
    void togglePlayback(const std::filesystem::path& audioURL);
    // Logs "Unable to find recording file at <url>." and changes nothing when the file is missing.
    void startPlayback(const std::filesystem::path& audioURL);
    void playbackTick();
    // Pauses the sound and the timer; keeps the sound and the position.
    void stopPlayback();
    // Moves the mark back to the start and forgets why the last playback failed (another recording is shown).
    void resetPlaybackTime();

signals:
    // After every change of playbackActive, playbackTime or playbackProblem.
    void changed();

private:
    SoundPlayer::Factory makePlayer_;
    RepeatingTimer::Factory makeTimer_;
    std::unique_ptr<SoundPlayer> playbackSession_;
    std::unique_ptr<RepeatingTimer> playbackTimer_;
    bool playbackActive_ = false;
    double playbackTime_ = 0.0;
    std::optional<SoundPlayer::Failure::Cause> problem_;
};
