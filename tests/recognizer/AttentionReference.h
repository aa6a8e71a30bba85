#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// Multi-head attention by its definition, in double, for checking the kernels: per head h and query i,
//     out[i * heads * dh + h * dh + c] = sum_j softmax_j(scale * sum_e q(i, h, e) * k(j, h, e)) * v(j, h, c),
// with q, k and v reading the inputs in whatever layout a kernel takes them (query or key, head, channel).
template <class Q, class K, class V>
std::vector<double> attentionByDefinition(int64_t nq, int64_t nk, int64_t heads, int64_t dh, double scale, Q q, K k,
                                          V v) {
    std::vector<double> out(size_t(nq * heads * dh));
    std::vector<double> w(static_cast<size_t>(nk));
    for (int64_t h = 0; h < heads; ++h) {
        for (int64_t i = 0; i < nq; ++i) {
            double max = -INFINITY, sum = 0;
            for (int64_t j = 0; j < nk; ++j) {
                double dotp = 0;
                for (int64_t e = 0; e < dh; ++e) dotp += double(q(i, h, e)) * double(k(j, h, e));
                w[size_t(j)] = dotp * scale;
                max = std::max(max, w[size_t(j)]);
            }
            for (auto& x : w) sum += (x = std::exp(x - max));
            for (int64_t c = 0; c < dh; ++c) {
                double o = 0;
                for (int64_t j = 0; j < nk; ++j) o += w[size_t(j)] * double(v(j, h, c));
                out[size_t((i * heads + h) * dh + c)] = o / sum;
            }
        }
    }
    return out;
}
