#pragma once

#include <atomic>
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

    // The bar heights of a stored WAV file, read block by block in bounded memory (any thread may call it). A file
    // that cannot be read is reported on standard output and in the log ("Error reading the audio file: ...") and
    // gives no bars. When `cancelled` turns true the reading stops and gives no bars.
    static std::vector<int> loadWaveform(const std::filesystem::path& audioURL,
                                         const std::atomic<bool>* cancelled = nullptr);

    // The bar heights of samples in -1...1: one bar per sample up to 75 samples, otherwise one per chunk of n / 75
    // samples (so 75 or more bars, the last one always 0); see WaveformFold.
    static std::vector<int> waveHeights(const std::vector<float>& samples);
    // The heights of the bar values of a WaveformFold.
    static std::vector<int> scaledHeights(std::vector<float> values);

    // `v` between `lo` and `hi` mapped onto 2...25 points and truncated; lo (as an integer) when the range is empty.
    static int scaledWaveHeight(float v, float lo, float hi);

    // The whole seconds of a recording (the fraction dropped) spread over the bars; 0 without bars.
    static double secondsPerBar(std::int64_t durationMilliseconds, std::size_t barCount);

    // The bar whose time span holds `playbackTime`; nullopt when none does (secondsPerBar 0, or past the last bar).
    static std::optional<std::size_t> currentBar(double playbackTime, double secondsPerBar, std::size_t barCount);
};
