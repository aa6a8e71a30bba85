#include "compute/Quantization.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "compute/BlockLayouts.h"
#include "compute/Kernels.h"

namespace recognizer {

namespace {

uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

float floatOf(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

void storeQh(uint8_t* qh, uint32_t v) {
    for (int i = 0; i < 4; ++i) qh[i] = uint8_t(v >> (8 * i));
}

// The signed value with the largest magnitude (the first one on ties), as the reference quantizers pick it.
float signedAbsMax(const float* x) {
    float amax = 0.0f;
    float max = 0.0f;
    for (int j = 0; j < kBlock; ++j) {
        if (amax < std::fabs(x[j])) {
            amax = std::fabs(x[j]);
            max = x[j];
        }
    }
    return max;
}

void minMax(const float* x, float& lo, float& hi) {
    lo = FLT_MAX;
    hi = -FLT_MAX;
    for (int j = 0; j < kBlock; ++j) {
        lo = std::min(lo, x[j]);
        hi = std::max(hi, x[j]);
    }
}

void quantizeQ4_0(const float* x, BlockQ4_0* y, int64_t nb) {
    for (int64_t b = 0; b < nb; ++b, x += kBlock) {
        const float d = signedAbsMax(x) / -8.0f;
        const float id = d != 0.0f ? 1.0f / d : 0.0f;
        y[b].d = fp32ToFp16(d);
        for (int j = 0; j < 16; ++j) {
            const int lo = std::min(15, int(int8_t(x[j] * id + 8.5f)));
            const int hi = std::min(15, int(int8_t(x[j + 16] * id + 8.5f)));
            y[b].qs[j] = uint8_t(lo | hi << 4);
        }
    }
}

void quantizeQ4_1(const float* x, BlockQ4_1* y, int64_t nb) {
    for (int64_t b = 0; b < nb; ++b, x += kBlock) {
        float lo, hi;
        minMax(x, lo, hi);
        const float d = (hi - lo) / 15.0f;
        const float id = d != 0.0f ? 1.0f / d : 0.0f;
        y[b].d = fp32ToFp16(d);
        y[b].m = fp32ToFp16(lo);
        for (int j = 0; j < 16; ++j) {
            const int q0 = std::min(15, int(int8_t((x[j] - lo) * id + 0.5f)));
            const int q1 = std::min(15, int(int8_t((x[j + 16] - lo) * id + 0.5f)));
            y[b].qs[j] = uint8_t(q0 | q1 << 4);
        }
    }
}

void quantizeQ5_0(const float* x, BlockQ5_0* y, int64_t nb) {
    for (int64_t b = 0; b < nb; ++b, x += kBlock) {
        const float d = signedAbsMax(x) / -16.0f;
        const float id = d != 0.0f ? 1.0f / d : 0.0f;
        y[b].d = fp32ToFp16(d);
        uint32_t qh = 0;
        for (int j = 0; j < 16; ++j) {
            const int q0 = std::min(31, int(int8_t(x[j] * id + 16.5f)));
            const int q1 = std::min(31, int(int8_t(x[j + 16] * id + 16.5f)));
            y[b].qs[j] = uint8_t((q0 & 0xF) | (q1 & 0xF) << 4);
            qh |= uint32_t(q0 >> 4 & 1) << j;
            qh |= uint32_t(q1 >> 4 & 1) << (j + 16);
        }
        storeQh(y[b].qh, qh);
    }
}

void quantizeQ5_1(const float* x, BlockQ5_1* y, int64_t nb) {
    for (int64_t b = 0; b < nb; ++b, x += kBlock) {
        float lo, hi;
        minMax(x, lo, hi);
        const float d = (hi - lo) / 31.0f;
        const float id = d != 0.0f ? 1.0f / d : 0.0f;
        y[b].d = fp32ToFp16(d);
        y[b].m = fp32ToFp16(lo);
        uint32_t qh = 0;
        for (int j = 0; j < 16; ++j) {
            const int q0 = uint8_t((x[j] - lo) * id + 0.5f);
            const int q1 = uint8_t((x[j + 16] - lo) * id + 0.5f);
            y[b].qs[j] = uint8_t((q0 & 0xF) | (q1 & 0xF) << 4);
            qh |= uint32_t(q0 >> 4 & 1) << j;
            qh |= uint32_t(q1 >> 4 & 1) << (j + 16);
        }
        storeQh(y[b].qh, qh);
    }
}

void quantizeQ8_0(const float* x, BlockQ8_0* y, int64_t nb) {
    for (int64_t b = 0; b < nb; ++b, x += kBlock) {
        float amax = 0.0f;
        for (int j = 0; j < kBlock; ++j) amax = std::max(amax, std::fabs(x[j]));
        const float d = amax / 127.0f;
        const float id = d != 0.0f ? 1.0f / d : 0.0f;
        y[b].d = fp32ToFp16(d);
        for (int j = 0; j < kBlock; ++j) y[b].qs[j] = int8_t(std::round(x[j] * id));
    }
}

}  // namespace

float fp16ToFp32(uint16_t h) {
    const uint32_t sign = uint32_t(h & 0x8000) << 16;
    const uint32_t exponent = h >> 10 & 0x1F;
    const uint32_t mantissa = h & 0x3FF;
    if (exponent == 0) {
        // Zero or subnormal: mantissa units of 2^-24, exact in f32.
        const float magnitude = float(mantissa) * 0x1p-24f;
        return floatOf(sign | bitsOf(magnitude));
    }
    if (exponent == 31) return floatOf(sign | 0x7F800000 | mantissa << 13);
    return floatOf(sign | (exponent + 112) << 23 | mantissa << 13);
}

uint16_t fp32ToFp16(float f) {
    const uint32_t x = bitsOf(f);
    const uint16_t sign = uint16_t(x >> 16 & 0x8000);
    uint32_t a = x & 0x7FFFFFFF;
    if (a >= 0x7F800000) {
        // Infinity stays infinity; NaN stays a (quiet) NaN with the top payload bits kept.
        return a == 0x7F800000 ? uint16_t(sign | 0x7C00) : uint16_t(sign | 0x7E00 | (a >> 13 & 0x3FF));
    }
    if (a >= 0x477FF000) return uint16_t(sign | 0x7C00);  // 65520 and above round to infinity
    if (a < 0x38800000) {
        // Below the smallest normal half: adding 0.5 rounds (to nearest even) to a multiple of 2^-24, and the low
        // bits of the sum are then the half's subnormal mantissa (0x400 when it rounds up to the smallest normal).
        const float sum = floatOf(a) + 0.5f;
        return uint16_t(sign | (bitsOf(sum) - 0x3F000000));
    }
    a += 0xC8000FFF + (a >> 13 & 1);  // rebias the exponent by -112 and round to nearest even
    return uint16_t(sign | a >> 13);
}

void convertFp16ToFp32(const uint16_t* src, float* dst, int64_t n) {
    kernels().fp16ToFp32(src, dst, n);
}

void convertFp32ToFp16(const float* src, uint16_t* dst, int64_t n) {
    kernels().fp32ToFp16(src, dst, n);
}

void dequantizeRow(TensorType type, const void* src, float* dst, int64_t n) {
    kernels().dequantize[int(type)](src, dst, n);
}

void quantizeRow(TensorType type, const float* src, void* dst, int64_t n) {
    const int64_t nb = n / kBlock;
    switch (type) {
        case TensorType::F32:
            std::memcpy(dst, src, size_t(n) * sizeof(float));
            return;
        case TensorType::F16:
            convertFp32ToFp16(src, static_cast<uint16_t*>(dst), n);
            return;
        case TensorType::Q4_0: quantizeQ4_0(src, static_cast<BlockQ4_0*>(dst), nb); return;
        case TensorType::Q4_1: quantizeQ4_1(src, static_cast<BlockQ4_1*>(dst), nb); return;
        case TensorType::Q5_0: quantizeQ5_0(src, static_cast<BlockQ5_0*>(dst), nb); return;
        case TensorType::Q5_1: quantizeQ5_1(src, static_cast<BlockQ5_1*>(dst), nb); return;
        case TensorType::Q8_0: quantizeQ8_0(src, static_cast<BlockQ8_0*>(dst), nb); return;
    }
}

}  // namespace recognizer
