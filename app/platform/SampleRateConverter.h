#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/CaptureFormat.h"

struct SRC_STATE_tag;

// Turns captured audio of any usable format into 32-bit float samples at 16 kHz, one channel (the mean of the
// channels). One converter serves one stream: the band-limiting filter keeps its state from one buffer to the next,
// so consecutive buffers join without a seam and every input frame is fed exactly once. A buffer of another format
// than the one before starts a new stream.
class SampleRateConverter {
public:
    static constexpr double outputRate = 16000.0;

    SampleRateConverter();
    ~SampleRateConverter();
    SampleRateConverter(const SampleRateConverter&) = delete;
    SampleRateConverter& operator=(const SampleRateConverter&) = delete;

    // Converts `frames` interleaved frames of `format` read from `data`. Returns the samples produced by this call (a
    // view of the converter's own memory, valid until the next call), or nullopt with `error` set when the format
    // cannot be converted or the resampler fails.
    std::optional<std::span<const float>> convert(const CaptureFormat& format, const unsigned char* data,
                                                  std::uint32_t frames, std::string* error = nullptr);

private:
    bool restart(const CaptureFormat& format, std::string* error);
    void downmix(const CaptureFormat& format, const unsigned char* data, std::uint32_t frames);

    CaptureFormat streamFormat_;
    SRC_STATE_tag* resampler_ = nullptr;
    std::vector<float> mono_;
    std::vector<float> output_;
};
