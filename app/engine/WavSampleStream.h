#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/ReadableFile.h"

// The samples of a stored WAV file (the fixed 44-byte header, then 16-bit little-endian mono samples), read a block
// at a time, so that a file of any length is read in bounded memory. The file must be a regular file within the cap of
// an audio file; each sample is returned as s / 32767 within -1...1 and a trailing odd byte is not read. Of the header
// only the sample rate is taken.
class WavSampleStream {
public:
    // Opens and checks `file`; throws std::filesystem::filesystem_error when it cannot be read (see ReadableFile).
    explicit WavSampleStream(const std::filesystem::path& file);

    // The number of whole samples after the header, as the file's size says.
    std::uint64_t sampleCount() const { return sampleCount_; }
    // The rate the header gives, in Hz; 0 for a file too short to hold a header.
    std::uint32_t sampleRate() const { return sampleRate_; }

    // Fills `samples` from the current position; returns how many it wrote, 0 once every sample has been read (or the
    // file ended early). Throws like the constructor when a read fails.
    std::size_t read(std::span<float> samples);

private:
    ReadableFile file_;
    std::uint64_t sampleCount_ = 0;
    std::uint32_t sampleRate_ = 0;
    std::uint64_t delivered_ = 0;
};
