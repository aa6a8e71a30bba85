#include "ui/RecordingWaveform.h"

#include "engine/WavFile.h"
#include "platform/AppLog.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <iostream>
#include <string>

std::vector<int> RecordingWaveform::loadWaveform(const std::filesystem::path& audioURL) {
    std::vector<float> samples;
    try {
        samples = readWavSamples(audioURL);
    } catch (const std::exception& e) {
        const std::string message = std::string("Error reading the audio file: ") + e.what();
        std::cout << message << std::endl;
        AppLog::error(message);
        return {};
    }
    return waveHeights(samples);
}

std::vector<int> RecordingWaveform::waveHeights(const std::vector<float>& samples) {
    const auto n = static_cast<std::int64_t>(samples.size());
    std::vector<float> values;
    if (wavSegments < n) {
        const std::int64_t chunk = n / wavSegments;
        values.reserve(static_cast<std::size_t>((n + chunk - 1) / chunk));
        for (std::int64_t start = 0; start < n; start += chunk) values.push_back(chunkMaximum(start, chunk, samples));
    } else {
        values = samples;
    }
    for (float& v : values) v = std::fabs(v);

    const float lo = 0.0f;
    const float hi = values.empty() ? 0.0f : *std::max_element(values.begin(), values.end());
    std::vector<int> heights;
    heights.reserve(values.size());
    for (const float v : values) heights.push_back(scaledWaveHeight(v, lo, hi));
    return heights;
}

float RecordingWaveform::chunkMaximum(std::int64_t start, std::int64_t chunk, const std::vector<float>& samples) {
    const std::int64_t end = start + chunk;
    if (end >= static_cast<std::int64_t>(samples.size())) return 0.0f;
    return *std::max_element(samples.begin() + start, samples.begin() + end + 1);
}

int RecordingWaveform::scaledWaveHeight(float v, float lo, float hi) {
    const float norm = (v - lo) / (hi - lo);
    if (std::isnan(norm) || std::isinf(norm)) return static_cast<int>(lo);
    return static_cast<int>(minWaveHeight + norm * (maxWaveHeight - minWaveHeight));
}

double RecordingWaveform::secondsPerBar(std::int64_t durationMilliseconds, std::size_t barCount) {
    if (barCount == 0) return 0.0;
    return static_cast<double>(durationMilliseconds / 1000) / static_cast<double>(barCount);
}

std::optional<std::size_t> RecordingWaveform::currentBar(double playbackTime, double secondsPerBar,
                                                         std::size_t barCount) {
    for (std::size_t i = 0; i < barCount; ++i) {
        const double begin = static_cast<double>(i) * secondsPerBar;
        const double end = static_cast<double>(i + 1) * secondsPerBar;
        if (playbackTime >= begin && playbackTime < end) return i;
    }
    return std::nullopt;
}
