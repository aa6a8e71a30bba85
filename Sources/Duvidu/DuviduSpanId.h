#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace duvidu {

// The 64-bit identifier of a span; written as 16 lowercase hexadecimal digits.
class DuviduSpanId {
public:
    using Bytes = std::array<uint8_t, 8>;

    // A new random id.
    DuviduSpanId();

    std::string duviduSpanIdString() const;
    bool operator==(const DuviduSpanId& other) const = default;

private:
    Bytes bytes_;
};

}  // namespace duvidu
