// The log-mel front end and the filter bank recipe.

#include "core/MelSpectrogram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "ModelWriter.h"
#include "compute/ThreadPool.h"

using recognizer::MelSpectrogram;
using recognizer::ModelWriter;
using recognizer::ThreadPool;

namespace {

std::vector<float> tone(int n) {
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 440 * i / 16000.0) +
                                  0.2 * std::sin(2 * M_PI * 1250 * i / 16000.0));
    return x;
}

}  // namespace

TEST(MelFilters, MatchTheSlaneyBankStoredInModelFiles) {
    const auto f80 = ModelWriter::slaneyFilters(80);
    EXPECT_EQ(f80[0 * 201 + 1], 0.02486259490251541f);
    EXPECT_EQ(f80[1 * 201 + 2], 0.022871771827340126f);
    for (int k = 0; k < 201; ++k) {
        if (k != 1) {
            EXPECT_EQ(f80[k], 0.0f) << k;  // row 0 has a single non-zero entry
        }
    }
    EXPECT_NEAR(std::accumulate(f80.begin(), f80.end(), 0.0), 1.99902, 1e-5);
    const auto f128 = ModelWriter::slaneyFilters(128);
    EXPECT_EQ(f128[1], 0.012373986653983593f);
    EXPECT_NEAR(std::accumulate(f128.begin(), f128.end(), 0.0), 3.19099, 1e-5);
    for (int m = 0; m < 128; ++m) EXPECT_EQ(f128[m * 201 + 200], 0.0f);  // Nyquist
}

TEST(MelSpectrogram, SilenceIsMinusOnePointFiveEverywhere) {
    ThreadPool pool(3);
    const auto filters = ModelWriter::slaneyFilters(80);
    const std::vector<float> silence(16000, 0.0f);
    MelSpectrogram mel;
    mel.compute(silence.data(), silence.size(), filters.data(), 80, pool);
    EXPECT_EQ(mel.frames(), (16000 + 480000) / 160);
    EXPECT_EQ(mel.framesOfAudio(), 1 + (16000 + 200 - 400) / 160);
    for (int m = 0; m < 80; ++m)
        for (int64_t t = 0; t < mel.frames(); ++t) ASSERT_EQ(mel.band(m)[t], -1.5f) << m << "," << t;
}

TEST(MelSpectrogram, ToneMatchesTheDefinitionAtAnyThreadCount) {
    const auto filters = ModelWriter::slaneyFilters(80);
    const auto x = tone(48000);
    ThreadPool one(1), four(4);
    MelSpectrogram a, b;
    a.compute(x.data(), x.size(), filters.data(), 80, one);
    b.compute(x.data(), x.size(), filters.data(), 80, four);
    ASSERT_EQ(a.frames(), 3300);
    EXPECT_EQ(a.framesOfAudio(), 299);
    struct Known {
        int frame, band;
        float value;
    };
    // Values of the reference definition (reflect padding at the start, 30 s of zeros after).
    for (const Known& k : {Known{0, 0, 0.916788f}, Known{0, 10, 1.234933f}, Known{50, 40, -0.664295f},
                           Known{150, 30, 0.892407f}, Known{298, 10, 1.237814f}, Known{299, 10, 1.238721f},
                           Known{300, 10, 1.161126f}, Known{50, 5, -0.672717f}, Known{302, 10, -0.672717f},
                           Known{3299, 79, -0.672717f}}) {
        EXPECT_NEAR(a.band(k.band)[k.frame], k.value, 1e-4) << k.frame << "," << k.band;
    }
    for (int m = 0; m < 80; ++m)
        for (int64_t t = 0; t < a.frames(); ++t) ASSERT_EQ(a.band(m)[t], b.band(m)[t]);
}

TEST(MelSpectrogram, HandlesShortAndEmptyInput) {
    ThreadPool pool(2);
    const auto filters = ModelWriter::slaneyFilters(128);
    const std::vector<float> x{0.5f, -0.5f, 0.25f};
    MelSpectrogram mel;
    mel.compute(x.data(), x.size(), filters.data(), 128, pool);
    EXPECT_EQ(mel.nMel(), 128);
    EXPECT_EQ(mel.frames(), 3000);
    EXPECT_EQ(mel.framesOfAudio(), 0);
    for (int m = 0; m < 128; ++m) EXPECT_TRUE(std::isfinite(mel.band(m)[0]));
    mel.compute(nullptr, 0, filters.data(), 128, pool);
    EXPECT_EQ(mel.frames(), 3000);
    EXPECT_EQ(mel.band(0)[0], -1.5f);
}
