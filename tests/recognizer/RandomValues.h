#pragma once

#include <cstddef>
#include <random>
#include <vector>

// Reproducible values spread evenly over [-scale, scale], for kernels checked against a reference or timed.
inline std::vector<float> randomValues(size_t n, float scale, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-scale, scale);
    std::vector<float> v(n);
    for (auto& x : v) x = dist(rng);
    return v;
}

inline std::vector<float> randomValues(size_t n, unsigned seed) { return randomValues(n, 1.0f, seed); }
