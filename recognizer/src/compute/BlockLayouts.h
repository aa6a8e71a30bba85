#pragma once

#include <cstdint>

namespace recognizer {

// Storage blocks of the quantized types: 32 weights each, little-endian, no padding. In the 4- and 5-bit types the low
// nibbles of qs[0..15] are elements 0..15 and the high nibbles elements 16..31; bit j of qh is bit 4 of element j.
// Plain data only: these are read by translation units built for different instruction sets.
struct BlockQ4_0 {
    uint16_t d;
    uint8_t qs[16];
};
struct BlockQ4_1 {
    uint16_t d;
    uint16_t m;
    uint8_t qs[16];
};
struct BlockQ5_0 {
    uint16_t d;
    uint8_t qh[4];
    uint8_t qs[16];
};
struct BlockQ5_1 {
    uint16_t d;
    uint16_t m;
    uint8_t qh[4];
    uint8_t qs[16];
};
struct BlockQ8_0 {
    uint16_t d;
    int8_t qs[32];
};

static_assert(sizeof(BlockQ4_0) == 18 && sizeof(BlockQ4_1) == 20 && sizeof(BlockQ5_0) == 22 &&
              sizeof(BlockQ5_1) == 24 && sizeof(BlockQ8_0) == 34);

constexpr int kBlock = 32;

}  // namespace recognizer
