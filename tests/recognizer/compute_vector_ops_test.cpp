#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "ComputeLevels.h"
#include "compute/Kernels.h"
#include "compute/VectorOps.h"
#include "RandomValues.h"

using namespace recognizer;

namespace {

const int64_t kLengths[] = {1, 7, 16, 31, 64, 385, 1500};

}  // namespace

TEST(ComputeVectorOps, LayerNormMatchesTheDefinitionAlsoInPlace) {
    forEachKernelLevel([&](KernelLevel) {
        for (int64_t n : kLengths) {
            auto x = randomValues(size_t(n), 3.0f, unsigned(n));
            for (auto& v : x) v += 100.0f;  // a large mean must not cost precision
            const auto w = randomValues(size_t(n), 1.0f, 2);
            const auto b = randomValues(size_t(n), 1.0f, 3);
            double mean = 0, var = 0;
            for (float v : x) mean += v;
            mean /= double(n);
            for (float v : x) var += (v - mean) * (v - mean);
            var /= double(n);
            std::vector<float> out(static_cast<size_t>(n));
            layerNormRow(x.data(), n, w.data(), b.data(), 1e-5f, out.data());
            for (int64_t i = 0; i < n; ++i) {
                const double want = (x[size_t(i)] - mean) / std::sqrt(var + 1e-5) * w[size_t(i)] + b[size_t(i)];
                ASSERT_NEAR(out[size_t(i)], want, 2e-4) << "n=" << n << " i=" << i;
            }
            layerNormRow(x.data(), n, w.data(), b.data(), 1e-5f, x.data());
            EXPECT_EQ(x, out);
        }
    });
}

TEST(ComputeVectorOps, GeluFollowsTheTanhFormAndItsTails) {
    forEachKernelLevel([&](KernelLevel) {
        std::vector<float> x;
        for (float v = -12.0f; v <= 12.0f; v += 0.01f) x.push_back(v);
        x.push_back(-INFINITY);
        x.push_back(INFINITY);
        auto y = x;
        geluInPlace(y.data(), int64_t(y.size()));
        for (size_t i = 0; i + 2 < x.size(); ++i) {
            const double v = x[i];
            const double want = 0.5 * v * (1.0 + std::tanh(0.7978845608 * (v + 0.044715 * v * v * v)));
            ASSERT_NEAR(y[i], want, 1e-5 * (1.0 + std::fabs(v))) << v;
        }
        EXPECT_EQ(y[y.size() - 2], 0.0f);
        EXPECT_EQ(y.back(), INFINITY);
    });
}

TEST(ComputeVectorOps, SoftmaxIsStableAndHonoursMaskedEntries) {
    forEachKernelLevel([&](KernelLevel) {
        for (int64_t n : kLengths) {
            auto x = randomValues(size_t(n), 50.0f, unsigned(n) + 1);
            x[0] = 3000.0f;  // would overflow exp without the max shift
            if (n > 2) x[size_t(n / 2)] = -INFINITY;
            const auto in = x;
            const float scale = 0.125f;
            softmaxInPlace(x.data(), n, scale);
            double max = -INFINITY;
            for (float v : in) max = std::fmax(max, double(v) * scale);
            double sum = 0;
            for (float v : in) sum += std::exp(double(v) * scale - max);
            double total = 0;
            for (int64_t i = 0; i < n; ++i) {
                ASSERT_NEAR(x[size_t(i)], std::exp(double(in[size_t(i)]) * scale - max) / sum, 1e-6) << i;
                total += x[size_t(i)];
            }
            EXPECT_NEAR(total, 1.0, 1e-5);
            if (n > 2) {
                EXPECT_EQ(x[size_t(n / 2)], 0.0f);
            }
        }
        // A row with every entry masked gives zeros rather than NaN.
        std::vector<float> masked(20, -INFINITY);
        softmaxInPlace(masked.data(), 20, 1.0f);
        for (float v : masked) EXPECT_EQ(v, 0.0f);
    });
}

TEST(ComputeVectorOps, SoftmaxPartsGiveTheShiftedExponentialsTheirMaximumAndSum) {
    forEachKernelLevel([&](KernelLevel) {
        for (int64_t n : kLengths) {
            auto x = randomValues(size_t(n), 50.0f, unsigned(n) + 7);
            x[size_t(n - 1)] = 2000.0f;
            if (n > 2) x[1] = -INFINITY;
            const auto in = x;
            const float scale = 0.125f;
            float max = 0.0f;
            const float sum = kernels().softmaxParts(x.data(), n, scale, &max);
            double wantMax = -INFINITY, wantSum = 0;
            for (float v : in) wantMax = std::fmax(wantMax, double(v) * scale);
            EXPECT_EQ(max, float(wantMax));
            for (int64_t i = 0; i < n; ++i) {
                const double want = std::exp(double(in[size_t(i)]) * scale - wantMax);
                ASSERT_NEAR(x[size_t(i)], want, 1e-6 * (1.0 + want)) << i;
                wantSum += want;
            }
            EXPECT_NEAR(sum, wantSum, 1e-5 * wantSum);
        }
        std::vector<float> masked(19, -INFINITY);
        float max = 0.0f;
        EXPECT_EQ(kernels().softmaxParts(masked.data(), 19, 1.0f, &max), 0.0f);
        EXPECT_EQ(max, -INFINITY);
        for (float v : masked) EXPECT_EQ(v, 0.0f);
    });
}

TEST(ComputeVectorOps, AddAndDot) {
    forEachKernelLevel([&](KernelLevel) {
        for (int64_t n : kLengths) {
            const auto a = randomValues(size_t(n), 1.0f, 5);
            const auto b = randomValues(size_t(n), 1.0f, 6);
            double want = 0;
            for (int64_t i = 0; i < n; ++i) want += double(a[size_t(i)]) * b[size_t(i)];
            EXPECT_NEAR(dot(a.data(), b.data(), n), want, 1e-5 * double(n)) << n;
            auto y = a;
            addInPlace(y.data(), b.data(), n);
            for (int64_t i = 0; i < n; ++i) ASSERT_EQ(y[size_t(i)], a[size_t(i)] + b[size_t(i)]);
        }
    });
}
