#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "ComputeLevels.h"
#include "compute/MatMul.h"
#include "compute/Quantization.h"
#include "compute/ThreadPool.h"
#include "RandomValues.h"

using namespace recognizer;

namespace {

// A weight matrix in a stored type together with its exact f32 expansion.
struct Weights {
    std::vector<uint8_t> bytes;
    std::vector<float> expanded;
    WeightView view;
};

Weights makeWeights(TensorType type, int64_t rows, int64_t cols, unsigned seed) {
    Weights w;
    const auto values = randomValues(size_t(rows * cols), seed);
    const size_t stride = rowBytes(type, cols);
    w.bytes.resize(stride * size_t(rows));
    w.expanded.resize(size_t(rows * cols));
    for (int64_t r = 0; r < rows; ++r) {
        quantizeRow(type, values.data() + r * cols, w.bytes.data() + size_t(r) * stride, cols);
        dequantizeRow(type, w.bytes.data() + size_t(r) * stride, w.expanded.data() + r * cols, cols);
    }
    w.view = WeightView{type, rows, cols, w.bytes.data()};
    return w;
}

// Checks every output against a double-precision product, scaled by the magnitude of the terms.
void expectProduct(const std::vector<float>& got, int64_t ld, int64_t m, int64_t n, const auto& reference,
                   float relTol) {
    for (int64_t i = 0; i < m; ++i) {
        for (int64_t j = 0; j < n; ++j) {
            double sum = 0.0, mag = 0.0;
            reference(i, j, sum, mag);
            ASSERT_NEAR(got[size_t(i * ld + j)], sum, relTol * (mag + 1.0)) << "at " << i << "," << j;
        }
    }
}

const TensorType kAllTypes[] = {TensorType::F32,  TensorType::F16,  TensorType::Q4_0, TensorType::Q4_1,
                                TensorType::Q5_0, TensorType::Q5_1, TensorType::Q8_0};

// How far a product with quantized weights may be from the exact one: the activations may enter in 8-bit blocks, each
// value within half a step (the block's largest magnitude / 254) of the original.
template <class T>
double blockRoundingBound(const T* x, const float* w, int64_t cols) {
    double bound = 0.0;
    for (int64_t b = 0; b < cols; b += 32) {
        double amax = 0.0, weights = 0.0;
        for (int64_t k = b; k < b + 32; ++k) {
            amax = std::max(amax, std::fabs(double(x[k])));
            weights += std::fabs(w[k]);
        }
        bound += 1.001 * amax / 254.0 * weights;
    }
    return bound;
}

}  // namespace

// Every stored type, from single-token products to encoder-sized ones, with padded strides, with and without bias.
// Every kernel level gives the portable level's numbers up to the order of the float sums.
TEST(ComputeMatMul, EveryTypeMatchesTheExpandedProduct) {
    ThreadPool pool(4);
    struct Shape {
        int64_t m, rows, cols;
    };
    for (TensorType type : kAllTypes) {
        for (Shape s : {Shape{1, 37, 64}, Shape{2, 41, 96}, Shape{3, 130, 384}, Shape{14, 19, 64}, Shape{17, 67, 160},
                        Shape{60, 67, 800}, Shape{150, 45, 384}, Shape{5, 2053, 96}}) {
            SCOPED_TRACE(testing::Message()
                         << tensorTypeName(type) << " m=" << s.m << " rows=" << s.rows << " cols=" << s.cols);
            const Weights w = makeWeights(type, s.rows, s.cols, unsigned(s.rows + s.cols));
            const int64_t ldx = s.cols + 5, ldy = s.rows + 3;
            const auto x = randomValues(size_t(s.m * ldx), 99);
            const auto bias = randomValues(size_t(s.rows), 5);
            // The exact product, the magnitude of its terms and the allowance for 8-bit activations.
            std::vector<double> exact(size_t(s.m * s.rows)), magnitude(exact.size()), rounding(exact.size());
            for (int64_t i = 0; i < s.m; ++i) {
                for (int64_t r = 0; r < s.rows; ++r) {
                    const size_t at = size_t(i * s.rows + r);
                    for (int64_t k = 0; k < s.cols; ++k) {
                        const double t = double(x[size_t(i * ldx + k)]) * w.expanded[size_t(r * s.cols + k)];
                        exact[at] += t;
                        magnitude[at] += std::fabs(t);
                    }
                    if (isQuantized(type))
                        rounding[at] = blockRoundingBound(&x[size_t(i * ldx)], &w.expanded[size_t(r * s.cols)], s.cols);
                }
            }
            std::vector<float> portable[2];
            forEachKernelLevel([&](KernelLevel level) {
                for (int withBias = 0; withBias < 2; ++withBias) {
                    const float* b = withBias ? bias.data() : nullptr;
                    std::vector<float> y(size_t(s.m * ldy), 1234.0f);
                    matmul(pool, w.view, x.data(), s.m, ldx, y.data(), ldy, b);
                    expectProduct(
                        y, ldy, s.m, s.rows,
                        [&](int64_t i, int64_t r, double& sum, double& mag) {
                            const size_t at = size_t(i * s.rows + r);
                            sum = exact[at] + (b ? b[r] : 0.0);
                            mag = magnitude[at] + rounding[at] / 2e-5;  // the allowance as extra magnitude
                        },
                        2e-5f);
                    if (level == KernelLevel::Portable) portable[withBias] = y;
                    expectProduct(
                        y, ldy, s.m, s.rows,
                        [&](int64_t i, int64_t r, double& sum, double& mag) {
                            sum = portable[withBias][size_t(i * ldy + r)];
                            mag = magnitude[size_t(i * s.rows + r)];
                        },
                        2e-5f);
                    // Padding between rows of Y is left alone.
                    for (int64_t i = 0; i < s.m; ++i)
                        for (int64_t r = s.rows; r < ldy; ++r) ASSERT_EQ(y[size_t(i * ldy + r)], 1234.0f);
                }
            }, true);
        }
    }
}

TEST(ComputeSgemm, BothLayoutsWithAlphaBetaAndOddSizes) {
    ThreadPool pool(3);
    struct Shape {
        int64_t m, n, k;
    };
    for (Shape s : {Shape{1, 1, 1}, Shape{2, 3, 5}, Shape{17, 33, 29}, Shape{150, 150, 64}, Shape{300, 64, 301},
                    Shape{64, 1500, 64}, Shape{31, 40, 1200}, Shape{60, 40, 1200}}) {
        for (bool transB : {false, true}) {
            const int64_t lda = s.k + 3, ldb = (transB ? s.k : s.n) + 7, ldc = s.n + 2;
            const auto a = randomValues(size_t(s.m * lda), 1);
            const auto b = randomValues(size_t((transB ? s.n : s.k) * ldb), 2);
            const auto c0 = randomValues(size_t(s.m * ldc), 3);
            // The exact product A op(B) and the magnitude of its terms, once for every level and alpha and beta.
            std::vector<double> exact(size_t(s.m * s.n)), magnitude(exact.size());
            for (int64_t i = 0; i < s.m; ++i) {
                for (int64_t j = 0; j < s.n; ++j) {
                    for (int64_t p = 0; p < s.k; ++p) {
                        const double t = double(a[size_t(i * lda + p)]) *
                                         (transB ? b[size_t(j * ldb + p)] : b[size_t(p * ldb + j)]);
                        exact[size_t(i * s.n + j)] += t;
                        magnitude[size_t(i * s.n + j)] += std::fabs(t);
                    }
                }
            }
            forEachKernelLevel([&](KernelLevel) {
                for (auto [alpha, beta] : {std::pair{1.0f, 0.0f}, std::pair{0.125f, 1.0f}, std::pair{-2.0f, 0.5f}}) {
                    SCOPED_TRACE(testing::Message() << "m=" << s.m << " n=" << s.n << " k=" << s.k
                                                    << " transB=" << transB << " alpha=" << alpha << " beta=" << beta);
                    auto c = c0;
                    if (beta == 0.0f) std::fill(c.begin(), c.end(), NAN);  // beta 0 must not read C
                    sgemm(pool, transB, s.m, s.n, s.k, alpha, a.data(), lda, b.data(), ldb, beta, c.data(), ldc);
                    expectProduct(
                        c, ldc, s.m, s.n,
                        [&, alpha = alpha, beta = beta](int64_t i, int64_t j, double& sum, double& mag) {
                            sum = alpha * exact[size_t(i * s.n + j)] +
                                  (beta == 0.0f ? 0.0 : beta * double(c0[size_t(i * ldc + j)]));
                            mag = std::fabs(alpha) * magnitude[size_t(i * s.n + j)] + std::fabs(beta);
                        },
                        2e-5f);
                    for (int64_t i = 0; i < s.m; ++i)
                        for (int64_t j = s.n; j < ldc; ++j)
                            if (beta != 0.0f) {
                                ASSERT_EQ(c[size_t(i * ldc + j)], c0[size_t(i * ldc + j)]);
                            }
                }
            });
        }
    }
}

// Unquantized rows may have any length (the first convolution has 3 x mels inputs): partial vector steps at the end.
TEST(ComputeMatMul, FloatRowsOfAnyLength) {
    ThreadPool pool(2);
    forEachKernelLevel([&](KernelLevel) {
        for (TensorType type : {TensorType::F32, TensorType::F16}) {
            for (int64_t cols : {1, 7, 9, 17, 75}) {
                for (int64_t m : {2, 60}) {
                    SCOPED_TRACE(testing::Message() << tensorTypeName(type) << " cols=" << cols << " m=" << m);
                    const Weights w = makeWeights(type, 21, cols, unsigned(cols));
                    const auto x = randomValues(size_t(m * cols), 3);
                    std::vector<float> y(size_t(m * 21));
                    matmul(pool, w.view, x.data(), m, cols, y.data(), 21, nullptr);
                    expectProduct(
                        y, 21, m, 21,
                        [&](int64_t i, int64_t r, double& sum, double& mag) {
                            for (int64_t k = 0; k < cols; ++k) {
                                const double t = double(x[size_t(i * cols + k)]) * w.expanded[size_t(r * cols + k)];
                                sum += t;
                                mag += std::fabs(t);
                            }
                        },
                        2e-5f);
                }
            }
        }
    });
}

// A matrix whose packed copy would exceed the scratch cap is multiplied in column slabs; the seams must not show. The
// seams run down the columns, so whole output rows of a few activation rows show them.
TEST(ComputeMatMul, WideMatricesGoThroughInSlabs) {
    ThreadPool pool(4);
    const int64_t rows = 2100, cols = 2016;  // 63 blocks; 4.2 M values, just over the cap
    for (auto [type, m] : {std::pair{TensorType::F16, int64_t(49)}, std::pair{TensorType::Q8_0, int64_t(17)}}) {
        SCOPED_TRACE(tensorTypeName(type));
        const Weights w = makeWeights(type, rows, cols, 12);
        const auto x = randomValues(size_t(m * cols), 13);
        const auto bias = randomValues(size_t(rows), 14);
        const int64_t checked[] = {0, 1, m / 2, m - 1};
        std::vector<double> exact(std::size(checked) * size_t(rows));
        for (size_t c = 0; c < std::size(checked); ++c)
            for (int64_t r = 0; r < rows; ++r) {
                double sum = bias[size_t(r)];
                for (int64_t k = 0; k < cols; ++k)
                    sum += double(x[size_t(checked[c] * cols + k)]) * w.expanded[size_t(r * cols + k)];
                exact[c * size_t(rows) + size_t(r)] = sum;
            }
        forEachKernelLevel([&, m = m](KernelLevel) {
            std::vector<float> y(size_t(m * rows));
            matmul(pool, w.view, x.data(), m, cols, y.data(), rows, bias.data());
            for (size_t c = 0; c < std::size(checked); ++c)
                for (int64_t r = 0; r < rows; ++r)
                    ASSERT_NEAR(y[size_t(checked[c] * rows + r)], exact[c * size_t(rows) + size_t(r)], 2e-3)
                        << checked[c] << "," << r;
        });
    }
}

// The same product with 1 to 8 threads gives the same numbers: the split must not change the summation order.
TEST(ComputeMatMul, ResultsDoNotDependOnTheThreadCount) {
    const Weights w = makeWeights(TensorType::F16, 200, 256, 4);
    for (int64_t m : {1, 4, 300}) {
        const auto x = randomValues(size_t(m * 256), 8);
        std::vector<float> first;
        for (int threads = 1; threads <= 8; ++threads) {
            ThreadPool pool(threads);
            std::vector<float> y(static_cast<size_t>(m * 200));
            matmul(pool, w.view, x.data(), m, 256, y.data(), 200, nullptr);
            if (first.empty()) first = y;
            ASSERT_EQ(y, first) << "m=" << m << " threads=" << threads;
        }
    }
}

// A norm, several products, GELU and accumulation in one run, against layer norm and products in double.
TEST(ComputeMatMul, RowProductsWithNormGeluAndResidual) {
    ThreadPool pool(3);
    const int64_t cols = 96;
    const auto normW = randomValues(size_t(cols), 11), normB = randomValues(size_t(cols), 12);
    forEachKernelLevel([&](KernelLevel) {
        for (TensorType type : {TensorType::F32, TensorType::F16, TensorType::Q5_0, TensorType::Q8_0}) {
            for (int64_t m : {1, 2, 5, 15}) {
                SCOPED_TRACE(testing::Message() << "type " << int(type) << " m=" << m);
                const int64_t ldx = cols + 3;
                auto x = randomValues(size_t(m * ldx), 13);
                for (auto& v : x) v = 4.0f * v + 2.0f;
                const Weights a = makeWeights(type, 40, cols, 14), b = makeWeights(type, 200, cols, 15),
                              c = makeWeights(type, 7, cols, 16);
                const auto bias = randomValues(200, 17);
                std::vector<float> ya(size_t(m * 41), 5.0f), yb(size_t(m * 200), 0.0f), yc(size_t(m * 7));
                const auto before = ya;
                const RowProduct products[] = {{a.view, ya.data(), 41, nullptr, true},
                                               {b.view, yb.data(), 200, bias.data(), false, true},
                                               {c.view, yc.data(), 7, bias.data()}};
                const RowNorm norm{normW.data(), normB.data(), 1e-5f};
                matmulRows(pool, x.data(), m, ldx, &norm, products, 3);

                std::vector<double> normed(size_t(m * cols));
                for (int64_t i = 0; i < m; ++i) {
                    double mean = 0, var = 0;
                    for (int64_t k = 0; k < cols; ++k) mean += x[size_t(i * ldx + k)];
                    mean /= double(cols);
                    for (int64_t k = 0; k < cols; ++k) var += std::pow(x[size_t(i * ldx + k)] - mean, 2);
                    var /= double(cols);
                    for (int64_t k = 0; k < cols; ++k) {
                        const double z = (x[size_t(i * ldx + k)] - mean) / std::sqrt(var + 1e-5);
                        normed[size_t(i * cols + k)] = z * normW[size_t(k)] + normB[size_t(k)];
                    }
                }
                // The allowance for 8-bit activations enters as extra magnitude (GELU stretches it by at most 1.2).
                auto product = [&](const Weights& w, int64_t i, int64_t r, double& sum, double& mag) {
                    for (int64_t k = 0; k < cols; ++k) {
                        const double t = normed[size_t(i * cols + k)] * w.expanded[size_t(r * cols + k)];
                        sum += t;
                        mag += std::fabs(t);
                    }
                    if (isQuantized(type)) {
                        const double bound =
                            blockRoundingBound(&normed[size_t(i * cols)], &w.expanded[size_t(r * cols)], cols);
                        mag += 1.2 * bound / 1e-5;
                    }
                };
                expectProduct(ya, 41, m, 40, [&](int64_t i, int64_t r, double& sum, double& mag) {
                    sum = before[size_t(i * 41 + r)];
                    product(a, i, r, sum, mag);
                }, 1e-5f);
                expectProduct(yb, 200, m, 200, [&](int64_t i, int64_t r, double& sum, double& mag) {
                    product(b, i, r, sum, mag);
                    sum += bias[size_t(r)];
                    sum = 0.5 * sum * (1.0 + std::tanh(0.7978845608 * (sum + 0.044715 * sum * sum * sum)));
                }, 1e-5f);
                expectProduct(yc, 7, m, 7, [&](int64_t i, int64_t r, double& sum, double& mag) {
                    product(c, i, r, sum, mag);
                    sum += bias[size_t(r)];
                }, 1e-5f);
                for (int64_t i = 0; i < m; ++i) EXPECT_EQ(ya[size_t(i * 41 + 40)], 5.0f);
            }
        }
    }, true);
}

// The blocked path adds to the output and applies GELU to the finished tiles, also across several blocks of the inner
// dimension and at partial edge tiles.
TEST(ComputeMatMul, BlockedProductsAddToTheOutputAndApplyGelu) {
    ThreadPool pool(3);
    const int64_t m = 61, rows = 45, cols = 800, ldy = rows + 2;
    for (TensorType type : {TensorType::F16, TensorType::Q5_1}) {
        SCOPED_TRACE(tensorTypeName(type));
        const Weights w = makeWeights(type, rows, cols, 21);
        const auto x = randomValues(size_t(m * cols), 22), bias = randomValues(size_t(rows), 23),
                   before = randomValues(size_t(m * ldy), 24);
        forEachKernelLevel([&](KernelLevel) {
            for (auto [accumulate, gelu] : {std::pair{true, false}, std::pair{false, true}, std::pair{true, true}}) {
                SCOPED_TRACE(testing::Message() << "accumulate " << accumulate << " gelu " << gelu);
                auto y = before;
                matmul(pool, x.data(), m, cols, RowProduct{w.view, y.data(), ldy, bias.data(), accumulate, gelu});
                expectProduct(
                    y, ldy, m, rows,
                    [&, accumulate = accumulate, gelu = gelu](int64_t i, int64_t r, double& sum, double& mag) {
                        for (int64_t k = 0; k < cols; ++k) {
                            const double t = double(x[size_t(i * cols + k)]) * w.expanded[size_t(r * cols + k)];
                            sum += t;
                            mag += std::fabs(t);
                        }
                        sum += bias[size_t(r)] + (accumulate ? before[size_t(i * ldy + r)] : 0.0);
                        if (gelu) sum *= 0.5 * (1.0 + std::tanh(0.7978845608 * (sum + 0.044715 * std::pow(sum, 3))));
                    },
                    2e-5f);
                for (int64_t i = 0; i < m; ++i)
                    for (int64_t r = rows; r < ldy; ++r) ASSERT_EQ(y[size_t(i * ldy + r)], before[size_t(i * ldy + r)]);
            }
        });
    }
}
