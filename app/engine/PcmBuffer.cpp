#include "engine/PcmBuffer.h"

#include <algorithm>
#include <utility>

PcmBuffer::PcmBuffer(SampleFormat format, double sampleRate, std::uint32_t channelCount, bool interleaved,
                     std::uint32_t frameCapacity)
    : format_(format),
      sampleRate_(sampleRate),
      channelCount_(channelCount),
      interleaved_(interleaved || channelCount == 1),
      frameCapacity_(frameCapacity),
      bytes_(std::size_t(frameCapacity) * channelCount * bytesPerSample(format), 0) {}

void PcmBuffer::setFrameLength(std::uint32_t frames) { frameLength_ = std::min(frames, frameCapacity_); }

std::size_t PcmBuffer::bytesPerSample(SampleFormat format) {
    switch (format) {
        case SampleFormat::float32: return 4;
        case SampleFormat::float64: return 8;
        case SampleFormat::int16: return 2;
        case SampleFormat::int32: return 4;
    }
    return 4;
}

float* PcmBuffer::floatChannelData(std::uint32_t channel) {
    return const_cast<float*>(std::as_const(*this).floatChannelData(channel));
}

const float* PcmBuffer::floatChannelData(std::uint32_t channel) const {
    if (format_ != SampleFormat::float32 || channel >= channelCount_) return nullptr;
    const auto* base = reinterpret_cast<const float*>(bytes_.data());
    return interleaved_ ? base + channel : base + std::size_t(channel) * frameCapacity_;
}

std::optional<std::vector<std::vector<float>>> floatChannels(const PcmBuffer& buffer) {
    if (buffer.format() != PcmBuffer::SampleFormat::float32) return std::nullopt;
    const std::uint32_t channels = buffer.channelCount();
    const std::uint32_t frames = buffer.frameLength();
    const std::uint32_t stride = buffer.stride();
    std::vector<std::vector<float>> result(channels, std::vector<float>(frames, 0.0f));
    for (std::uint32_t c = 0; c < channels; ++c) {
        const float* data = buffer.floatChannelData(c);
        for (std::uint32_t i = 0; i < frames; ++i) result[c][i] = data[std::size_t(i) * stride];
    }
    return result;
}
