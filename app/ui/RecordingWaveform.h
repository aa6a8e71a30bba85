#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

// The waveform of a stored dictation: its samples folded into about 75 bars, each bar's height in points between 2
// (silence) and 25 (the loudest bar), and the rule that marks the bar of the playback position.
class RecordingWaveform {
public:
    RecordingWaveform() = delete;

    static constexpr int wavSegments = 75;
    static constexpr float minWaveHeight = 2.0f;
    static constexpr float maxWaveHeight = 25.0f;
    static constexpr float waveWidth = 2.0f;

    // The bar heights of a stored WAV file. A file that cannot be read is reported on standard output and in the log
    // ("Error reading the audio file: ...") and gives no bars.
    static std::vector<int> loadWaveform(const std::filesystem::path& audioURL);

    // The bar heights of samples in -1...1: one bar per sample up to 75 samples, otherwise one per chunk of n / 75
    // samples (so 75 or more bars, the last one always 0).
    static std::vector<int> waveHeights(const std::vector<float>& samples);

    // The signed maximum of samples[start] to samples[start + chunk] inclusive (the next chunk's first sample too);
    // 0 when that range would pass the last sample.
    static float chunkMaximum(std::int64_t start, std::int64_t chunk, const std::vector<float>& samples);

    // `v` between `lo` and `hi` mapped onto 2...25 points and truncated; lo (as an integer) when the range is empty.
    static int scaledWaveHeight(float v, float lo, float hi);

    // The whole seconds of a recording (the fraction dropped) spread over the bars; 0 without bars.
    static double secondsPerBar(std::int64_t durationMilliseconds, std::size_t barCount);

    // The bar whose time span holds `playbackTime`; nullopt when none does (secondsPerBar 0, or past the last bar).
    static std::optional<std::size_t> currentBar(double playbackTime, double secondsPerBar, std::size_t barCount);
};
