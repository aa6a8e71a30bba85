#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

#include "platform/CapturedBuffer.h"

namespace capturetest {

// Captured bytes with their format; buffer() views them.
struct OwnedBuffer {
    CaptureFormat format;
    std::int64_t frameCount = 0;
    std::vector<unsigned char> bytes;

    CapturedBuffer buffer() const { return CapturedBuffer{format, frameCount, {bytes.data(), bytes.size()}}; }
};

// Interleaved frames of `format`, channel c of frame i given by value(i, c) in -1...1.
inline OwnedBuffer encode(const CaptureFormat& format, std::int64_t firstFrame, std::int64_t frames,
                          const std::function<double(std::int64_t frame, int channel)>& value) {
    OwnedBuffer out{format, frames, std::vector<unsigned char>(std::size_t(frames) * format.bytesPerFrame())};
    unsigned char* p = out.bytes.data();
    for (std::int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < format.channelCount; ++c) {
            const double v = value(firstFrame + i, c);
            switch (format.sampleType) {
                case CaptureFormat::SampleType::int16: {
                    const auto s = std::int16_t(std::lround(v * 32767.0));
                    std::memcpy(p, &s, 2);
                    p += 2;
                    break;
                }
                case CaptureFormat::SampleType::int32: {
                    const auto s = std::int32_t(std::llround(v * 2147483647.0));
                    std::memcpy(p, &s, 4);
                    p += 4;
                    break;
                }
                case CaptureFormat::SampleType::float32: {
                    const auto s = float(v);
                    std::memcpy(p, &s, 4);
                    p += 4;
                    break;
                }
                case CaptureFormat::SampleType::float64: std::memcpy(p, &v, 8); p += 8; break;
                case CaptureFormat::SampleType::unknown: break;
            }
        }
    }
    return out;
}

inline double sine(double frequency, double rate, std::int64_t frame, double amplitude = 0.5) {
    return amplitude * std::sin(2.0 * std::numbers::pi * frequency * double(frame) / rate);
}

// The largest normalised cross-correlation of `signal` against `reference` over lags 0...maxLag (signal delayed).
inline double bestCorrelation(const std::vector<float>& signal, const std::vector<float>& reference, int maxLag,
                              int* bestLag = nullptr) {
    double best = -1.0;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double sxy = 0, sxx = 0, syy = 0;
        for (std::size_t i = 0; i + std::size_t(lag) < signal.size() && i < reference.size(); ++i) {
            const double x = signal[i + std::size_t(lag)], y = reference[i];
            sxy += x * y;
            sxx += x * x;
            syy += y * y;
        }
        const double r = (sxx > 0 && syy > 0) ? sxy / std::sqrt(sxx * syy) : 0.0;
        if (r > best) {
            best = r;
            if (bestLag) *bestLag = lag;
        }
    }
    return best;
}

}  // namespace capturetest
