#pragma once

#include <cstdint>
#include <vector>

namespace recognizer {

class ThreadPool;

// The log-mel front end: 16 kHz samples, 25 ms periodic Hann windows every 10 ms, the model's own filter bank.
// The audio is followed by 30 s of silence so that the last window is always full.
class MelSpectrogram {
public:
    static constexpr int kFftSize = 400;
    static constexpr int kHop = 160;
    static constexpr int kBins = kFftSize / 2 + 1;
    static constexpr int kPadSamples = 30 * 16000;

    // Fills `mel` as [nMel][frames()] with frames() = (n + 480000) / 160.
    void compute(const float* samples, int64_t n, const float* filters, int nMel, ThreadPool& pool);

    int nMel() const { return nMel_; }
    int64_t frames() const { return frames_; }
    // Frames that hold audio; the silence padding is not counted.
    int64_t framesOfAudio() const { return framesOfAudio_; }
    const float* band(int m) const { return data_.data() + m * frames_; }
    bool empty() const { return frames_ == 0; }

private:
    std::vector<float> data_;
    int nMel_ = 0;
    int64_t frames_ = 0;
    int64_t framesOfAudio_ = 0;
};

}  // namespace recognizer
