#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/WavSampleStream.h"
#include "platform/SoundSource.h"

// A stored dictation's WAV file, or WAV data in memory laid out the same way (the completion sound, compiled into the
// application), as the sound player reads it: the mono 16-bit samples after the 44-byte header, at the header's rate.
// The file is opened and read on the player's threads.
class WavSoundSource : public SoundSource {
public:
    static std::unique_ptr<WavSoundSource> file(std::filesystem::path file);
    // `description` names the sound in the log.
    static std::unique_ptr<WavSoundSource> data(std::string bytes, std::string description);

    int open() override;
    std::size_t read(std::span<float> samples) override;
    std::string description() const override { return description_; }

private:
    WavSoundSource(std::filesystem::path file, std::string bytes, std::string description);

    std::filesystem::path file_;  // empty for data in memory
    std::optional<WavSampleStream> stream_;
    std::string bytes_;
    std::size_t offset_ = 0;  // into bytes_
    std::string description_;
};
