#include "core/MelSpectrogram.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "compute/ThreadPool.h"

namespace recognizer {

namespace {

using Complex = std::complex<float>;
constexpr int N = MelSpectrogram::kFftSize;

struct Tables {
    float hann[N];
    Complex twiddle[N];  // exp(-2 pi i k / N)
    Tables() {
        for (int i = 0; i < N; ++i) {
            const double a = 2.0 * M_PI * i / N;
            hann[i] = static_cast<float>(0.5 * (1.0 - std::cos(a)));
            twiddle[i] = Complex(static_cast<float>(std::cos(a)), static_cast<float>(-std::sin(a)));
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// Mixed-radix transform of n real values read with a stride: halves while n is even (400 -> 25), then a direct
// transform of the odd remainder.
void fft(const float* in, int stride, int n, Complex* out) {
    const Tables& t = tables();
    const int step = N / n;
    if (n % 2 != 0) {
        for (int k = 0; k < n; ++k) {
            Complex sum = 0;
            for (int j = 0; j < n; ++j) sum += in[j * stride] * t.twiddle[(j * k % n) * step];
            out[k] = sum;
        }
        return;
    }
    const int half = n / 2;
    Complex even[N / 2], odd[N / 2];
    fft(in, stride * 2, half, even);
    fft(in + stride, stride * 2, half, odd);
    for (int k = 0; k < half; ++k) {
        const Complex w = t.twiddle[k * step] * odd[k];
        out[k] = even[k] + w;
        out[k + half] = even[k] - w;
    }
}

}  // namespace

void MelSpectrogram::compute(const float* samples, int64_t n, const float* filters, int nMel, ThreadPool& pool) {
    n = std::max<int64_t>(n, 0);
    nMel_ = nMel;
    frames_ = (n + kPadSamples) / kHop;
    framesOfAudio_ = std::max<int64_t>(1 + (n + kFftSize / 2 - kFftSize) / kHop, 0);
    data_.assign(static_cast<size_t>(nMel) * frames_, 0.0f);
    constexpr float kFloor = -10.0f;  // log10 of the 1e-10 floor
    // Sample j of the padded signal: 200 reflected samples, the audio, then zeros.
    auto sampleAt = [&](int64_t j) -> float {
        const int64_t pad = kFftSize / 2;
        int64_t i = j < pad ? pad - j : j - pad;
        return i < n ? samples[i] : 0.0f;
    };
    const int64_t lastSignalFrame = (n + kFftSize / 2) / kHop;  // later frames read only zeros
    std::vector<float> maxima(pool.size(), kFloor);
    const Tables& t = tables();
    pool.run([&](int ith, int nth) {
        float frame[N];
        Complex spectrum[N];
        double power[kBins];
        float localMax = kFloor;
        const int64_t chunk = (frames_ + nth - 1) / nth;
        const int64_t begin = ith * chunk, end = std::min(frames_, begin + chunk);
        for (int64_t f = begin; f < end; ++f) {
            if (f > lastSignalFrame) {
                for (int m = 0; m < nMel; ++m) data_[m * frames_ + f] = kFloor;
                continue;
            }
            for (int i = 0; i < N; ++i) frame[i] = sampleAt(f * kHop + i) * t.hann[i];
            fft(frame, 1, N, spectrum);
            for (int k = 0; k < kBins; ++k) power[k] = std::norm(spectrum[k]);
            for (int m = 0; m < nMel; ++m) {
                const float* w = filters + m * kBins;
                double sum = 0;
                for (int k = 0; k < kBins; ++k) sum += w[k] * power[k];
                const float v = static_cast<float>(std::log10(std::max(sum, 1e-10)));
                data_[m * frames_ + f] = v;
                localMax = std::max(localMax, v);
            }
        }
        maxima[ith] = localMax;
    });
    const float top = *std::max_element(maxima.begin(), maxima.end());
    const float floorValue = top - 8.0f;
    pool.run([&](int ith, int nth) {
        const size_t total = data_.size();
        const size_t chunk = (total + nth - 1) / nth;
        const size_t begin = std::min(total, ith * chunk), end = std::min(total, begin + chunk);
        for (size_t i = begin; i < end; ++i) data_[i] = (std::max(data_[i], floorValue) + 4.0f) / 4.0f;
    });
}

}  // namespace recognizer
