#pragma once

#include <cstddef>

// The layout of captured audio: interleaved frames of `channelCount` samples of one type at `sampleRate` Hz.
struct CaptureFormat {
    enum class SampleType { unknown, int16, int32, float32, float64 };

    SampleType sampleType = SampleType::unknown;
    double sampleRate = 0.0;
    int channelCount = 0;

    // Bytes of one sample of one channel; 0 for an unknown type.
    static std::size_t bytesPerSample(SampleType type);
    // 0 when the type is unknown or there are no channels.
    std::size_t bytesPerFrame() const;
    // A known sample type, a positive finite rate and at least one channel.
    bool isUsable() const;

    bool operator==(const CaptureFormat&) const = default;
};
