#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// One loaded sound that plays a stored audio file once from its start. Its calls return at once: the sound reaches
// the sound server off the caller's thread, and a sound that cannot play says why through failure().
class SoundPlayer {
public:
    // Why a sound could not play, or stopped before its end.
    struct Failure {
        enum class Cause {
            // The sound server is not running, did not answer, or refused the sound.
            soundServerUnreachable,
            // The system refused a thread the sound needs.
            threadRefused,
            // The audio file could not be read.
            unreadable,
        };
        Cause cause;
        std::string reason;
    };

    virtual ~SoundPlayer() = default;

    // 0.0 (silent) to 1.0 (the file's own level).
    virtual void setVolume(float volume) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // The position in seconds; back at 0 once the sound has played to its end.
    virtual double currentTime() const = 0;
    // Whether the sound has played to its end: all of it reached the sound server and was played. The position may
    // not have shown it (a short sound ends before its position is read).
    virtual bool ended() const = 0;
    // Why the sound did not play to its end; none while it plays, and once it has.
    virtual std::optional<Failure> failure() const = 0;

    // Loads the file at a path; null when no sound can be made from it.
    using Factory = std::function<std::unique_ptr<SoundPlayer>(const std::filesystem::path& file)>;
};
