#pragma once

#include "platform/SharedPulseConnection.h"
#include "platform/SoundPlayer.h"
#include "platform/SoundSource.h"

#include <memory>
#include <optional>

// A SoundPlayer on a playback stream of the shared sound-server connection, to the server's default output. play()
// hands the start to a thread of the connection's; the stream is then fed, followed ten times a second and ended on
// the connection's loop thread, and the caller only reads what that thread saw last: no call waits for the server. A
// pause ends the sound for good. A refused thread, a server that does not take the stream within a second or stops
// answering for 2 s while it plays, and a file that cannot be read fail the sound, with a log line.
class PulseSoundPlayer : public SoundPlayer {
public:
    explicit PulseSoundPlayer(std::unique_ptr<SoundSource> source,
                              std::shared_ptr<SharedPulseConnection> server = SharedPulseConnection::application());
    // Ends the sound; waits for nothing.
    ~PulseSoundPlayer() override;
    PulseSoundPlayer(const PulseSoundPlayer&) = delete;
    PulseSoundPlayer& operator=(const PulseSoundPlayer&) = delete;

    void setVolume(float volume) override;
    // Starts the sound the first time; later calls do nothing.
    void play() override;
    void pause() override;
    double currentTime() const override;
    bool ended() const override;
    std::optional<Failure> failure() const override;

private:
    class Playback;
    std::shared_ptr<Playback> playback_;
    std::shared_ptr<SharedPulseConnection> server_;
    bool started_ = false;
};
