#include "platform/QtSoundPlayer.h"

#include "platform/AppLog.h"

#include <QUrl>

QtSoundPlayer::QtSoundPlayer(const std::filesystem::path& file) {
    player_.setAudioOutput(&output_);
    // The media player leaves its position at the end of a finished sound; callers detect the end by the position
    // going back, so a finished sound reports 0.
    QObject::connect(&player_, &QMediaPlayer::mediaStatusChanged, &player_, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia) ended_ = true;
    });
    QObject::connect(&player_, &QMediaPlayer::errorOccurred, &player_,
                     [](QMediaPlayer::Error, const QString& text) { AppLog::error("Error playing recording: " + text.toStdString()); });
    player_.setSource(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

std::unique_ptr<SoundPlayer> QtSoundPlayer::open(const std::filesystem::path& file) {
    return std::make_unique<QtSoundPlayer>(file);
}

void QtSoundPlayer::setVolume(float volume) { output_.setVolume(volume); }

void QtSoundPlayer::play() {
    ended_ = false;
    player_.play();
}

void QtSoundPlayer::pause() { player_.pause(); }

double QtSoundPlayer::currentTime() const { return ended_ ? 0.0 : static_cast<double>(player_.position()) / 1000.0; }
