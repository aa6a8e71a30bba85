#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "platform/SampleRateConverter.h"

namespace {

using Type = CaptureFormat::SampleType;

std::vector<float> tone(double frequency, double rate, std::size_t frames, double amplitude = 0.5) {
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        out[i] = float(amplitude * std::sin(2.0 * std::numbers::pi * frequency * double(i) / rate));
    }
    return out;
}

const unsigned char* bytes(const std::vector<float>& v) { return reinterpret_cast<const unsigned char*>(v.data()); }

// Converts `input` in blocks of 10 ms, as capture delivers it.
std::vector<float> convertStream(SampleRateConverter& converter, const std::vector<float>& input, double rate) {
    const CaptureFormat format{Type::float32, rate, 1};
    const auto block = std::size_t(rate / 100);
    std::vector<float> out;
    for (std::size_t first = 0; first < input.size(); first += block) {
        const auto frames = std::uint32_t(std::min(block, input.size() - first));
        const auto converted = converter.convert(format, bytes(input) + first * sizeof(float), frames);
        EXPECT_TRUE(converted.has_value());
        if (converted) out.insert(out.end(), converted->begin(), converted->end());
    }
    return out;
}

double levelDb(const std::vector<float>& samples, double amplitude) {
    double energy = 0;
    std::size_t n = 0;
    for (std::size_t i = 1000; i < samples.size(); ++i, ++n) energy += double(samples[i]) * samples[i];
    const double rms = std::sqrt(energy / double(n));
    return 20.0 * std::log10(std::max(rms, 1e-12) / (amplitude / std::sqrt(2.0)));
}

// Tones above the new Nyquist frequency of 8 kHz must not fold back into the band.
TEST(SampleRateConverterTest, NoAliasingAboveEightKilohertz) {
    for (double rate : {22050.0, 44100.0, 48000.0, 96000.0}) {
        for (double frequency : {8200.0, 8800.0, 10000.0, 12000.0, 15000.0, 20000.0}) {
            if (frequency >= rate / 2) continue;
            SampleRateConverter converter;
            const auto out = convertStream(converter, tone(frequency, rate, std::size_t(rate)), rate);
            EXPECT_LT(levelDb(out, 0.5), -60.0) << frequency << " Hz at " << rate << " Hz";
        }
    }
}

TEST(SampleRateConverterTest, KeepsTheSpeechBand) {
    for (double rate : {8000.0, 44100.0, 48000.0}) {
        for (double frequency : {200.0, 1000.0, 3000.0}) {
            SampleRateConverter converter;
            const auto out = convertStream(converter, tone(frequency, rate, std::size_t(rate)), rate);
            EXPECT_NEAR(levelDb(out, 0.5), 0.0, 0.1) << frequency << " Hz at " << rate << " Hz";
        }
    }
}

// Each block is fed once and the filter runs on across blocks: the blocks give what the whole signal gives.
TEST(SampleRateConverterTest, BlocksJoinWithoutSeams) {
    const auto input = tone(440.0, 44100.0, 44100);
    SampleRateConverter whole;
    const CaptureFormat format{Type::float32, 44100.0, 1};
    const auto all = whole.convert(format, bytes(input), std::uint32_t(input.size()));
    ASSERT_TRUE(all.has_value());
    const std::vector<float> expected(all->begin(), all->end());

    SampleRateConverter blocks;
    std::vector<float> joined;
    const std::size_t sizes[] = {1, 7, 441, 1000, 64, 3};
    for (std::size_t first = 0, k = 0; first < input.size(); first += sizes[k % 6], ++k) {
        const auto frames = std::uint32_t(std::min(sizes[k % 6], input.size() - first));
        const auto part = blocks.convert(format, bytes(input) + first * sizeof(float), frames);
        ASSERT_TRUE(part.has_value());
        joined.insert(joined.end(), part->begin(), part->end());
    }
    ASSERT_NEAR(double(joined.size()), double(expected.size()), 1.0);
    const std::size_t n = std::min(joined.size(), expected.size());
    for (std::size_t i = 0; i < n; ++i) ASSERT_NEAR(joined[i], expected[i], 1e-4) << i;
}

TEST(SampleRateConverterTest, RefusesFormatsItCannotRead) {
    SampleRateConverter converter;
    const std::vector<float> one{0.5f};
    EXPECT_FALSE(converter.convert(CaptureFormat{}, bytes(one), 1).has_value());
    EXPECT_FALSE(converter.convert({Type::float32, 0.0, 1}, bytes(one), 1).has_value());
    EXPECT_FALSE(converter.convert({Type::float32, 48000.0, 1}, nullptr, 1).has_value());
    EXPECT_EQ(converter.convert({Type::float32, 16000.0, 1}, bytes(one), 1)->size(), 1u);
}

}  // namespace
