#include "ui/RecordingPlayback.h"

#include "platform/AppLog.h"
#include "platform/ReadableFile.h"

#include <QString>
#include <QUrl>

#include <chrono>
#include <system_error>

RecordingPlayback::RecordingPlayback(SoundPlayer::Factory makePlayer, RepeatingTimer::Factory makeTimer,
                                     QObject* parent)
    : QObject(parent), makePlayer_(std::move(makePlayer)), makeTimer_(std::move(makeTimer)) {}

RecordingPlayback::~RecordingPlayback() {
    // The sound must not go on playing after the view that shows it is gone.
    if (playbackSession_) playbackSession_->pause();
}

void RecordingPlayback::togglePlayback(const std::filesystem::path& audioURL) {
    if (playbackActive_) {
        stopPlayback();
    } else {
        startPlayback(audioURL);
    }
}

void RecordingPlayback::startPlayback(const std::filesystem::path& audioURL) {
    std::error_code ec;
    if (!std::filesystem::exists(audioURL, ec)) {
        const QString url = QUrl::fromLocalFile(QString::fromStdString(audioURL.string())).toString();
        AppLog::error("Unable to find recording file at " + url.toStdString() + ".");
        return;
    }
    // The player reads the file itself: a FIFO or device in its place would hang it.
    try {
        ReadableFile::check(audioURL, ReadableFile::Kind::audio);
    } catch (const std::filesystem::filesystem_error& e) {
        AppLog::error("Unable to play recording file " + audioURL.string() + ": " + e.code().message());
        return;
    }
    // The previous sound, paused by stopPlayback, is replaced: a new playback always starts from the beginning.
    playbackSession_ = makePlayer_(audioURL);
    problem_.reset();
    playbackTime_ = 0.0;
    if (playbackSession_) {
        playbackSession_->setVolume(1.0f);
        playbackSession_->play();
    }
    playbackActive_ = true;
    playbackTimer_ = makeTimer_();
    playbackTimer_->start(std::chrono::milliseconds(100), [this] { playbackTick(); });
    emit changed();
}

void RecordingPlayback::playbackTick() {
    if (!playbackSession_) return;
    if (const auto failure = playbackSession_->failure()) {
        // The sound has logged why; the panel says it too, and the button is back to play.
        problem_ = failure->cause;
        stopPlayback();
        return;
    }
    playbackTime_ = playbackSession_->currentTime();
    // The sound says when it has been played to its end; its position may never have moved (a short take).
    if (playbackSession_->ended()) {
        stopPlayback();
        return;
    }
    emit changed();
}

void RecordingPlayback::stopPlayback() {
    if (playbackSession_) playbackSession_->pause();
    if (playbackTimer_) playbackTimer_->stop();
    playbackActive_ = false;
    emit changed();
}

void RecordingPlayback::resetPlaybackTime() {
    playbackTime_ = 0.0;
    problem_.reset();
    emit changed();
}

QString RecordingPlayback::playbackProblem() const {
    if (!problem_) return {};
    switch (*problem_) {
        case SoundPlayer::Failure::Cause::soundServerUnreachable:
            return tr("The recording could not be played: the sound server cannot be reached. Please check that it is "
                      "running and try again.");
        case SoundPlayer::Failure::Cause::threadRefused:
            return tr("The recording could not be played: the system has no thread to spare for Vellumcaster right "
                      "now. Try again in a moment, or close other programs.");
        case SoundPlayer::Failure::Cause::unreadable:
            return tr("The recording could not be played: its audio file cannot be read.");
    }
    return {};
}
