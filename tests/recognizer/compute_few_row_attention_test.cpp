#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "AttentionReference.h"
#include "ComputeLevels.h"
#include "compute/FewRowAttention.h"
#include "compute/Quantization.h"
#include "compute/ThreadPool.h"
#include "RandomValues.h"

using namespace recognizer;

namespace {

// Values rounded to f16, in that type and widened back.
struct HalfValues {
    std::vector<uint16_t> half;
    std::vector<float> exact;
};

HalfValues halfValues(size_t n, float scale, unsigned seed) {
    HalfValues h{std::vector<uint16_t>(n), randomValues(n, scale, seed)};
    for (size_t i = 0; i < n; ++i) {
        h.half[i] = fp32ToFp16(h.exact[i]);
        h.exact[i] = fp16ToFp32(h.half[i]);
    }
    return h;
}

}  // namespace

// Against the definition in double, for key counts that give one block, several blocks and a partial last block, with
// head sizes that do not fill a vector, several pool sizes, and scores large enough to need the max shift.
TEST(ComputeFewRowAttention, MatchesTheDefinitionForEveryShape) {
    struct Shape {
        int64_t m, nk, heads, dh;
        float spread;
    };
    const Shape shapes[] = {{1, 1, 1, 8, 1.0f},    {1, 1500, 12, 64, 1.0f}, {3, 1500, 6, 64, 6.0f},
                            {5, 130, 2, 24, 1.0f}, {2, 1001, 8, 40, 3.0f},  {15, 700, 4, 64, 1.0f}};
    ThreadPool pools[] = {ThreadPool(1), ThreadPool(3), ThreadPool(8)};
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << "m=" << s.m << " nk=" << s.nk << " heads=" << s.heads << " dh=" << s.dh);
        const int64_t width = s.heads * s.dh, ldq = width + 3, ldo = width + 2;
        const auto q = randomValues(size_t(s.m * ldq), s.spread, 1);
        const HalfValues k = halfValues(size_t(s.heads * s.nk * s.dh), s.spread, 2);
        const HalfValues vt = halfValues(size_t(width * s.nk), 1.0f, 3);
        const float scale = 1.0f / std::sqrt(float(s.dh));
        // The definition in double, once for every pool size and kernel level.
        const auto want = attentionByDefinition(
            s.m, s.nk, s.heads, s.dh, scale,
            [&](int64_t i, int64_t h, int64_t e) { return q[size_t(i * ldq + h * s.dh + e)]; },
            [&](int64_t j, int64_t h, int64_t e) { return k.exact[size_t((h * s.nk + j) * s.dh + e)]; },
            [&](int64_t j, int64_t h, int64_t c) { return vt.exact[size_t((h * s.dh + c) * s.nk + j)]; });
        for (ThreadPool& pool : pools) {
            SCOPED_TRACE(testing::Message() << "threads=" << pool.size());
            forEachKernelLevel([&](KernelLevel) {
                std::vector<float> out(size_t(s.m * ldo), 77.0f);
                attendFewRows(pool, s.m, s.nk, s.heads, s.dh, scale, q.data(), ldq, k.half.data(), vt.half.data(),
                              out.data(), ldo);
                for (int64_t i = 0; i < s.m; ++i) {
                    for (int64_t c = 0; c < width; ++c)
                        ASSERT_NEAR(out[size_t(i * ldo + c)], want[size_t(i * width + c)], 2e-5) << i << "," << c;
                    for (int64_t c = width; c < ldo; ++c) ASSERT_EQ(out[size_t(i * ldo + c)], 77.0f);
                }
            });
        }
    }
}

// The decoder's text must not depend on the number of threads: every pool size gives the same bits at each level, for
// a single row and for several.
TEST(ComputeFewRowAttention, SameResultForEveryThreadCount) {
    const int64_t nk = 1500, heads = 6, dh = 64, width = heads * dh;
    const auto q = randomValues(size_t(3 * width), 2.0f, 4);
    const HalfValues k = halfValues(size_t(heads * nk * dh), 2.0f, 5);
    const HalfValues vt = halfValues(size_t(width * nk), 1.0f, 6);
    ThreadPool pools[] = {ThreadPool(1), ThreadPool(2), ThreadPool(3), ThreadPool(4), ThreadPool(8)};
    forEachKernelLevel([&](KernelLevel) {
        for (int64_t m : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "m=" << m);
            std::vector<float> first;
            for (ThreadPool& pool : pools) {
                std::vector<float> out(size_t(m * width));
                attendFewRows(pool, m, nk, heads, dh, 0.125f, q.data(), width, k.half.data(), vt.half.data(),
                              out.data(), width);
                if (first.empty())
                    first = out;
                else
                    ASSERT_EQ(out, first) << "threads=" << pool.size();
            }
        }
    });
}
