#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "AttentionReference.h"
#include "ComputeLevels.h"
#include "compute/Attention.h"
#include "compute/ThreadPool.h"
#include "RandomValues.h"

using namespace recognizer;

// Against the definition in double: odd query and key counts (partial blocks and panels), head sizes that do not
// fill a register tile, padded strides, and scores large enough to need the max shift, also rising from block to block
// of keys (keys that grow with their position) so that the shift moves and the earlier blocks are rescaled.
TEST(ComputeAttention, MatchesTheDefinitionForEveryShape) {
    ThreadPool pool(3);
    struct Shape {
        int64_t nq, nk, heads, dh;
        float spread;
        bool rising = false;
    };
    const Shape shapes[] = {{1, 1, 1, 8, 1.0f},     {5, 7, 1, 8, 1.0f},      {37, 1500, 2, 64, 1.0f},
                            {100, 50, 4, 24, 8.0f}, {257, 400, 3, 64, 3.0f}, {33, 800, 1, 70, 1.0f},
                            {20, 600, 2, 32, 2.0f, true}};
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << "nq=" << s.nq << " nk=" << s.nk << " heads=" << s.heads << " dh=" << s.dh);
        const int64_t width = s.heads * s.dh;
        const int64_t ldq = width + 3, ldk = width + 1, ldv = width + 5, ldo = width + 2;
        const auto q = randomValues(size_t(s.nq * ldq), s.spread, 1);
        auto k = randomValues(size_t(s.nk * ldk), s.spread, 2);
        for (int64_t j = 0; s.rising && j < s.nk; ++j)
            for (int64_t c = 0; c < ldk; ++c) k[size_t(j * ldk + c)] *= 1.0f + 8.0f * float(j) / float(s.nk);
        const auto v = randomValues(size_t(s.nk * ldv), 1.0f, 3);
        const float scale = 1.0f / std::sqrt(float(s.dh));
        // The definition in double, once for every kernel level.
        const auto want = attentionByDefinition(
            s.nq, s.nk, s.heads, s.dh, scale,
            [&](int64_t i, int64_t h, int64_t e) { return q[size_t(i * ldq + h * s.dh + e)]; },
            [&](int64_t j, int64_t h, int64_t e) { return k[size_t(j * ldk + h * s.dh + e)]; },
            [&](int64_t j, int64_t h, int64_t c) { return v[size_t(j * ldv + h * s.dh + c)]; });
        forEachKernelLevel([&](KernelLevel) {
            std::vector<float> out(size_t(s.nq * ldo), 77.0f);
            attention(pool, s.nq, s.nk, s.heads, s.dh, scale, q.data(), ldq, k.data(), ldk, v.data(), ldv, out.data(),
                      ldo);
            for (int64_t i = 0; i < s.nq; ++i) {
                for (int64_t c = 0; c < width; ++c)
                    ASSERT_NEAR(out[size_t(i * ldo + c)], want[size_t(i * width + c)], 2e-5) << i << "," << c;
                for (int64_t c = width; c < ldo; ++c) ASSERT_EQ(out[size_t(i * ldo + c)], 77.0f);
            }
        });
    }
}
