#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Folds the samples of a recording, handed over in blocks of any size, into the values of its waveform bars, keeping
// no more than the bars themselves: up to 75 samples, one value per sample; beyond, one value per chunk of n / 75
// samples, the signed maximum of the chunk's samples and the first sample of the next chunk, and 0 for a chunk that
// would reach past the last sample (so the last bar is always 0). The values are not yet made absolute or scaled.
class WaveformFold {
public:
    WaveformFold(std::uint64_t sampleCount, std::int64_t segments);

    void add(std::span<const float> samples);
    // The bar values once every sample has been added; samples that never came count as missing from the end.
    std::vector<float> values() const;

private:
    std::uint64_t sampleCount_;
    std::uint64_t chunk_ = 0;  // 0: one bar per sample
    std::uint64_t seen_ = 0;
    std::vector<float> maxima_;
    std::vector<bool> started_;
};
