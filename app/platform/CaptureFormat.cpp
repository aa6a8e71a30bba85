#include "platform/CaptureFormat.h"

#include <cmath>

std::size_t CaptureFormat::bytesPerSample(SampleType type) {
    switch (type) {
        case SampleType::int16: return 2;
        case SampleType::int32: return 4;
        case SampleType::float32: return 4;
        case SampleType::float64: return 8;
        case SampleType::unknown: return 0;
    }
    return 0;
}

std::size_t CaptureFormat::bytesPerFrame() const {
    return channelCount > 0 ? bytesPerSample(sampleType) * std::size_t(channelCount) : 0;
}

bool CaptureFormat::isUsable() const {
    return sampleType != SampleType::unknown && std::isfinite(sampleRate) && sampleRate > 0.0 && channelCount > 0;
}
