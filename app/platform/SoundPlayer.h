#pragma once

#include <filesystem>
#include <functional>
#include <memory>

// One loaded sound that plays a stored audio file once from its start.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;

    // 0.0 (silent) to 1.0 (the file's own level).
    virtual void setVolume(float volume) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // The position in seconds; back at 0 once the sound has played to its end.
    virtual double currentTime() const = 0;

    // Loads the file at a path; null when no sound can be made from it.
    using Factory = std::function<std::unique_ptr<SoundPlayer>(const std::filesystem::path& file)>;
};
