#include "ui/RecordingWaveform.h"

#include "engine/WavSampleStream.h"
#include "platform/AppLog.h"
#include "platform/OutputWriter.h"
#include "ui/WaveformFold.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <string>

std::vector<int> RecordingWaveform::loadWaveform(const std::filesystem::path& audioURL,
                                                 const std::atomic<bool>* cancelled) {
    try {
        WavSampleStream stream(audioURL);
        WaveformFold fold(stream.sampleCount(), wavSegments);
        std::array<float, 16384> block{};
        while (const std::size_t n = stream.read(block)) {
            if (cancelled && cancelled->load()) return {};
            fold.add(std::span(block).first(n));
        }
        return scaledHeights(fold.values());
    } catch (const std::exception& e) {
        const std::string message = std::string("Error reading the audio file: ") + e.what();
        OutputWriter::write(OutputWriter::Stream::output, message);
        AppLog::error(message);
        return {};
    }
}

std::vector<int> RecordingWaveform::waveHeights(const std::vector<float>& samples) {
    WaveformFold fold(samples.size(), wavSegments);
    fold.add(samples);
    return scaledHeights(fold.values());
}

std::vector<int> RecordingWaveform::scaledHeights(std::vector<float> values) {
    for (float& v : values) v = std::fabs(v);
    const float lo = 0.0f;
    const float hi = values.empty() ? 0.0f : *std::max_element(values.begin(), values.end());
    std::vector<int> heights;
    heights.reserve(values.size());
    for (const float v : values) heights.push_back(scaledWaveHeight(v, lo, hi));
    return heights;
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
