#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

// Every dictation's audio is a 16-bit mono PCM RIFF/WAVE file with a fixed 44-byte header. The writer always emits
// that header; the reader trusts it and takes the samples to start at byte 44 without parsing anything.

// Writes `samples` (clamped to the 16-bit range, NaN as -32768) at `sampleRate` Hz to `file` in one plain write that
// replaces an existing file; the write is not atomic. Throws std::filesystem::filesystem_error when the file cannot be
// written, or with errc::value_too_large when the sizes or the rate do not fit the header's 32-bit fields (nothing is
// written then).
void writeWavFile(std::span<const float> samples, const std::filesystem::path& file, std::int64_t sampleRate);

// Reads the samples of a file written as above, each as s / 32767 within -1...1. A file of 45 bytes or fewer gives an
// empty list; a trailing odd byte is not read. Throws std::filesystem::filesystem_error when the file cannot be read,
// is not a regular file or is larger than an audio file may be (ReadableFile).
std::vector<float> readWavSamples(const std::filesystem::path& file);

// The length of a WAV file's samples in milliseconds, truncated, from the rate and block size its header gives (any
// WAV file, not only one written as above); 0 when it cannot be read, is not a regular file within the size cap of
// audio, or holds no valid header.
std::int64_t wavDurationMilliseconds(const std::filesystem::path& file);

// The sample rate a header as the writer writes it gives; 0 for fewer than 44 bytes.
std::uint32_t wavHeaderSampleRate(std::string_view header);

// One sample as the writer stores it: x * 32767 in single precision, clamped, truncated toward zero.
std::int16_t wavSampleFromFloat(float x);
// One stored sample as the reader returns it.
float wavSampleToFloat(std::int16_t s);
// The stored sample in the two bytes at `bytes` (little-endian) as the reader returns it.
float wavStoredSampleToFloat(const char* bytes);
