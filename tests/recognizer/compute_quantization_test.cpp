#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "ComputeLevels.h"
#include "compute/Quantization.h"
#include "compute/TensorType.h"
#include "RandomValues.h"

using namespace recognizer;

namespace {

float bitsToFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Nearest half by search over all finite halves, ties to the even bit pattern: independent of the bit tricks.
uint16_t nearestHalf(float f) {
    static const std::vector<double> positives = [] {
        std::vector<double> v;
        for (uint32_t h = 0; h < 0x7C00; ++h) v.push_back(fp16ToFp32(uint16_t(h)));
        return v;
    }();
    const uint16_t sign = std::signbit(f) ? 0x8000 : 0;
    const double a = std::fabs(double(f));
    if (a >= 65520.0) return sign | 0x7C00;
    const auto it = std::lower_bound(positives.begin(), positives.end(), a);
    if (it == positives.end()) return sign | 0x7BFF;
    const uint16_t hi = uint16_t(it - positives.begin());
    if (hi == 0) return sign;
    const uint16_t lo = hi - 1;
    const double dLo = a - positives[lo], dHi = positives[hi] - a;
    if (dLo < dHi || (dLo == dHi && (lo & 1) == 0)) return sign | lo;
    return sign | hi;
}

}  // namespace

TEST(ComputeHalf, EveryHalfSurvivesARoundTripAndNaNsStayNaN) {
    for (uint32_t h = 0; h < 0x10000; ++h) {
        const float f = fp16ToFp32(uint16_t(h));
        const bool nan = (h & 0x7C00) == 0x7C00 && (h & 0x3FF) != 0;
        if (nan) {
            ASSERT_TRUE(std::isnan(f)) << std::hex << h;
            ASSERT_EQ(fp32ToFp16(f) & 0x7E00, 0x7E00) << std::hex << h;  // still a (quiet) NaN
        } else {
            ASSERT_EQ(fp32ToFp16(f), h) << std::hex << h;
        }
    }
    EXPECT_EQ(fp16ToFp32(0x0001), std::ldexp(1.0f, -24));
    EXPECT_EQ(fp16ToFp32(0x03FF), 1023 * std::ldexp(1.0f, -24));
    EXPECT_EQ(fp16ToFp32(0x7BFF), 65504.0f);
    EXPECT_EQ(fp16ToFp32(0xFC00), -INFINITY);
    EXPECT_TRUE(std::signbit(fp16ToFp32(0x8000)));
}

TEST(ComputeHalf, RoundsToNearestEvenIncludingSubnormalsAndOverflow) {
    const float unit = std::ldexp(1.0f, -24);
    EXPECT_EQ(fp32ToFp16(0.5f * unit), 0x0000);  // tie to even (zero)
    EXPECT_EQ(fp32ToFp16(1.5f * unit), 0x0002);  // tie to even (two)
    EXPECT_EQ(fp32ToFp16(0.75f * unit), 0x0001);
    EXPECT_EQ(fp32ToFp16(1023.5f * unit), 0x0400);  // rounds up into the smallest normal
    EXPECT_EQ(fp32ToFp16(-0.0f), 0x8000);
    EXPECT_EQ(fp32ToFp16(1.0f + std::ldexp(1.0f, -11)), 0x3C00);      // tie, even stays
    EXPECT_EQ(fp32ToFp16(1.0f + 3 * std::ldexp(1.0f, -11)), 0x3C02);  // tie, odd goes up
    EXPECT_EQ(fp32ToFp16(65519.996f), 0x7BFF);
    EXPECT_EQ(fp32ToFp16(65520.0f), 0x7C00);
    EXPECT_EQ(fp32ToFp16(-1e10f), 0xFC00);
    EXPECT_EQ(fp32ToFp16(INFINITY), 0x7C00);
    EXPECT_EQ(fp32ToFp16(1e-30f), 0x0000);

    // Random bit patterns across the whole float range, and the exact midpoints between neighbouring halves.
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        const float f = bitsToFloat(rng());
        if (std::isnan(f) || std::isinf(f)) continue;
        ASSERT_EQ(fp32ToFp16(f), nearestHalf(f)) << f;
    }
    for (uint32_t h = 0; h < 0x7BFF; h += 7) {
        const float mid = float((double(fp16ToFp32(uint16_t(h))) + fp16ToFp32(uint16_t(h + 1))) / 2);
        ASSERT_EQ(fp32ToFp16(mid), nearestHalf(mid)) << h;
        ASSERT_EQ(fp32ToFp16(-mid), nearestHalf(-mid)) << h;
    }
}

TEST(ComputeHalf, BulkConversionsMatchTheScalarOnes) {
    forEachKernelLevel([&](KernelLevel) {
        std::mt19937 rng(3);
        for (int64_t n : {1, 7, 8, 15, 16, 33, 1000}) {
            std::vector<float> src(static_cast<size_t>(n));
            for (auto& v : src) v = bitsToFloat((rng() & 0x8FFFFFFF) | 0x30000000);  // magnitudes from tiny to huge
            src[0] = NAN;
            std::vector<uint16_t> half(static_cast<size_t>(n));
            convertFp32ToFp16(src.data(), half.data(), n);
            std::vector<float> back(static_cast<size_t>(n));
            convertFp16ToFp32(half.data(), back.data(), n);
            for (int64_t i = 0; i < n; ++i) {
                if (i == 0) {
                    EXPECT_TRUE(std::isnan(back[0]));
                    continue;
                }
                ASSERT_EQ(half[size_t(i)], fp32ToFp16(src[size_t(i)])) << i;
                ASSERT_EQ(back[size_t(i)], fp16ToFp32(half[size_t(i)])) << i;
            }
        }
    });
}

TEST(ComputeTensorType, SizesAndNames) {
    EXPECT_EQ(rowBytes(TensorType::F32, 384), 1536u);
    EXPECT_EQ(rowBytes(TensorType::F16, 384), 768u);
    EXPECT_EQ(rowBytes(TensorType::Q4_0, 64), 36u);
    EXPECT_EQ(rowBytes(TensorType::Q4_1, 64), 40u);
    EXPECT_EQ(rowBytes(TensorType::Q5_0, 64), 44u);
    EXPECT_EQ(rowBytes(TensorType::Q5_1, 64), 48u);
    EXPECT_EQ(rowBytes(TensorType::Q8_0, 64), 68u);
    for (int id = -1; id < 12; ++id)
        EXPECT_EQ(isKnownTensorType(id), id == 0 || id == 1 || id == 2 || id == 3 || id == 6 || id == 7 || id == 8);
    EXPECT_STREQ(tensorTypeName(TensorType::Q5_1), "q5_1");
    EXPECT_TRUE(isQuantized(TensorType::Q8_0));
    EXPECT_FALSE(isQuantized(TensorType::F16));
}

// One block per type whose values are exact, with the bytes the reference quantizer writes for them. The 4- and 5-bit
// blocks put elements 0..15 in the low nibbles and 16..31 in the high nibbles.
struct BlockCase {
    TensorType type;
    std::vector<float> values;
    std::vector<uint8_t> bytes;
};

std::vector<BlockCase> exactBlocks() {
    std::vector<BlockCase> cases;
    {
        BlockCase c{TensorType::Q4_0, {}, {0x00, 0x3C}};  // d = 1
        c.values.resize(32);
        for (int j = 0; j < 16; ++j) {
            c.values[size_t(j)] = float(j - 8);
            c.values[size_t(j + 16)] = float(7 - j);
            c.bytes.push_back(uint8_t(j | (15 - j) << 4));
        }
        cases.push_back(c);
    }
    {
        BlockCase c{TensorType::Q4_1, {}, {0x00, 0x3C, 0x00, 0x42}};  // d = 1, m = 3
        c.values.resize(32);
        for (int j = 0; j < 16; ++j) {
            c.values[size_t(j)] = float(j + 3);
            c.values[size_t(j + 16)] = float(18 - j);
            c.bytes.push_back(uint8_t(j | (15 - j) << 4));
        }
        cases.push_back(c);
    }
    {
        BlockCase c{TensorType::Q5_0, {}, {0x00, 0xBC, 0x00, 0x00, 0xFF, 0xFF}};  // d = -1: max |x| is +16 at j = 0
        c.values.resize(32);
        for (int j = 0; j < 32; ++j) c.values[size_t(j)] = float(16 - j);  // q = j
        for (int j = 0; j < 16; ++j) c.bytes.push_back(uint8_t(j | j << 4));
        cases.push_back(c);
    }
    {
        BlockCase c{TensorType::Q5_1, {}, {0x00, 0x3C, 0x00, 0x40, 0x00, 0x00, 0xFF, 0xFF}};  // d = 1, m = 2
        c.values.resize(32);
        for (int j = 0; j < 32; ++j) c.values[size_t(j)] = float(j + 2);
        for (int j = 0; j < 16; ++j) c.bytes.push_back(uint8_t(j | j << 4));
        cases.push_back(c);
    }
    {
        BlockCase c{TensorType::Q8_0, {}, {0x00, 0x3C}};  // d = 1
        c.values.resize(32);
        for (int j = 0; j < 32; ++j) {
            const int q = j == 5 ? -127 : (j * 37) % 255 - 127;
            c.values[size_t(j)] = float(q);
            c.bytes.push_back(uint8_t(int8_t(q)));
        }
        c.values[31] = 127.0f;
        c.bytes[33] = 127;
        cases.push_back(c);
    }
    return cases;
}

TEST(ComputeBlocks, ExactBlocksQuantizeToTheReferenceBytesAndBack) {
    forEachKernelLevel([&](KernelLevel) {
        for (const auto& c : exactBlocks()) {
            SCOPED_TRACE(tensorTypeName(c.type));
            ASSERT_EQ(c.bytes.size(), blockBytes(c.type));
            std::vector<uint8_t> bytes(blockBytes(c.type));
            quantizeRow(c.type, c.values.data(), bytes.data(), 32);
            EXPECT_EQ(bytes, c.bytes);
            std::vector<float> back(32);
            dequantizeRow(c.type, c.bytes.data(), back.data(), 32);
            EXPECT_EQ(back, c.values);
        }
    });
}

TEST(ComputeBlocks, RoundTripErrorStaysWithinHalfAStep) {
    forEachKernelLevel([&](KernelLevel) {
        for (TensorType t : {TensorType::F32, TensorType::F16, TensorType::Q4_0, TensorType::Q4_1, TensorType::Q5_0,
                             TensorType::Q5_1, TensorType::Q8_0}) {
            SCOPED_TRACE(tensorTypeName(t));
            const int64_t n = 32 * 40;
            auto x = randomValues(size_t(n), 2.0f, 11);
            for (int i = 0; i < 32; ++i) x[size_t(32 + i)] += 3.0f;  // a block far from zero exercises the offset m
            std::fill(x.begin() + 64, x.begin() + 96, 0.0f);         // an all-zero block must give zeros, not NaN
            std::vector<uint8_t> q(rowBytes(t, n));
            quantizeRow(t, x.data(), q.data(), n);
            std::vector<float> y(static_cast<size_t>(n));
            dequantizeRow(t, q.data(), y.data(), n);
            const float ulp = std::ldexp(1.0f, -11);
            for (int64_t i = 0; i < n; ++i) {
                float bound = 0.0f;
                if (t == TensorType::F16) {
                    bound = std::fabs(x[size_t(i)]) * ulp;
                } else if (isQuantized(t)) {
                    // Every block starts with its scale d; the offset types follow it with m.
                    const uint8_t* block = q.data() + size_t(i / 32) * blockBytes(t);
                    const float d = std::fabs(fp16ToFp32(uint16_t(block[0] | block[1] << 8)));
                    const bool offset = t == TensorType::Q4_1 || t == TensorType::Q5_1;
                    const float m = offset ? std::fabs(fp16ToFp32(uint16_t(block[2] | block[3] << 8))) : 0.0f;
                    // The signed-max types may clamp the end opposite the maximum by one step.
                    const bool clamps = t == TensorType::Q4_0 || t == TensorType::Q5_0;
                    bound = (clamps ? 1.0f : 0.5f) * d + (128 * d + m) * ulp + 1e-6f;
                }
                ASSERT_NEAR(y[size_t(i)], x[size_t(i)], bound) << i;
            }
            for (int i = 64; i < 96; ++i) EXPECT_EQ(y[size_t(i)], 0.0f);
        }
    });
}
