#include "platform/SampleRateConverter.h"

#include <samplerate.h>

#include <cmath>
#include <cstring>

namespace {

template <typename T>
T readSample(const unsigned char* p) {
    T value;
    std::memcpy(&value, p, sizeof value);  // captured blocks carry no alignment promise
    return value;
}

float sampleAsFloat(CaptureFormat::SampleType type, const unsigned char* p) {
    switch (type) {
        case CaptureFormat::SampleType::int16: return float(readSample<std::int16_t>(p)) / 32768.0f;
        case CaptureFormat::SampleType::int32: return float(double(readSample<std::int32_t>(p)) / 2147483648.0);
        case CaptureFormat::SampleType::float32: return readSample<float>(p);
        case CaptureFormat::SampleType::float64: return float(readSample<double>(p));
        case CaptureFormat::SampleType::unknown: break;
    }
    return 0.0f;
}

}  // namespace

SampleRateConverter::SampleRateConverter() = default;

SampleRateConverter::~SampleRateConverter() {
    if (resampler_) src_delete(resampler_);
}

bool SampleRateConverter::restart(const CaptureFormat& format, std::string* error) {
    if (resampler_) resampler_ = src_delete(resampler_);
    streamFormat_ = CaptureFormat{};
    if (format.sampleRate != outputRate) {
        int code = 0;
        // The medium sinc filter keeps aliases from above 8 kHz far below -60 dB at modest cost.
        resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &code);
        if (!resampler_) {
            if (error) *error = src_strerror(code);
            return false;
        }
    }
    streamFormat_ = format;
    return true;
}

void SampleRateConverter::downmix(const CaptureFormat& format, const unsigned char* data, std::uint32_t frames) {
    const std::size_t sampleBytes = CaptureFormat::bytesPerSample(format.sampleType);
    const std::size_t frameBytes = format.bytesPerFrame();
    const int channels = format.channelCount;
    mono_.resize(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const unsigned char* frame = data + std::size_t(i) * frameBytes;
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c) sum += sampleAsFloat(format.sampleType, frame + std::size_t(c) * sampleBytes);
        mono_[i] = channels == 1 ? sum : sum / float(channels);
    }
}

std::optional<std::span<const float>> SampleRateConverter::convert(const CaptureFormat& format,
                                                                   const unsigned char* data, std::uint32_t frames,
                                                                   std::string* error) {
    if (!format.isUsable()) {
        if (error) *error = "unsupported capture format";
        return std::nullopt;
    }
    if (!(format == streamFormat_) && !restart(format, error)) return std::nullopt;
    if (frames > 0 && !data) {
        if (error) *error = "no sample data";
        return std::nullopt;
    }
    downmix(format, data, frames);
    if (!resampler_) return std::span<const float>(mono_.data(), mono_.size());

    const double ratio = outputRate / format.sampleRate;
    output_.resize(std::size_t(std::ceil(double(frames) * ratio)) + 64);
    std::size_t used = 0;
    std::size_t produced = 0;
    for (;;) {
        if (output_.size() - produced < 64) output_.resize(output_.size() * 2);
        SRC_DATA step{};
        step.data_in = mono_.data() + used;
        step.input_frames = long(frames - used);
        step.data_out = output_.data() + produced;
        step.output_frames = long(output_.size() - produced);
        step.src_ratio = ratio;
        step.end_of_input = 0;
        if (const int code = src_process(resampler_, &step); code != 0) {
            if (error) *error = src_strerror(code);
            restart(format, nullptr);
            return std::nullopt;
        }
        used += std::size_t(step.input_frames_used);
        produced += std::size_t(step.output_frames_gen);
        if (used >= frames && step.output_frames_gen == 0) break;
    }
    return std::span<const float>(output_.data(), produced);
}
