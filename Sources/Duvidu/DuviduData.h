#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace duvidu {

// A block of bytes: payloads, envelopes, compressed bodies.
using DuviduData = std::vector<uint8_t>;

inline DuviduData dataFromString(std::string_view text)
{
    return DuviduData(text.begin(), text.end());
}

}  // namespace duvidu
