#pragma once

#include "platform/SoundPlayer.h"

#include <QAudioOutput>
#include <QMediaPlayer>

// A SoundPlayer on Qt Multimedia, playing to the default output device. Decoding is asynchronous: a file that turns
// out not to be playable stays silent at position 0 and the failure is logged.
class QtSoundPlayer : public SoundPlayer {
public:
    explicit QtSoundPlayer(const std::filesystem::path& file);

    // The factory the application uses.
    static std::unique_ptr<SoundPlayer> open(const std::filesystem::path& file);

    void setVolume(float volume) override;
    void play() override;
    void pause() override;
    double currentTime() const override;

private:
    QAudioOutput output_;
    QMediaPlayer player_;
    bool ended_ = false;
};
