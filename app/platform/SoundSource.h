#pragma once

#include <cstddef>
#include <span>
#include <string>

// The samples a PulseSoundPlayer plays: mono float samples within -1...1, read a block at a time. Used on the player's
// threads, never on the thread that made the player, since reading may wait for the disk.
class SoundSource {
public:
    virtual ~SoundSource() = default;

    // Opens the samples; their rate in Hz. Throws std::exception when they cannot be read.
    virtual int open() = 0;
    // Fills `samples` from the current position; how many it wrote, 0 at the end. Throws like open().
    virtual std::size_t read(std::span<float> samples) = 0;
    // What is played, for the log: "the recording /…/output.wav".
    virtual std::string description() const = 0;
};
