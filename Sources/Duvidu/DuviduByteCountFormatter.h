#pragma once

#include <cstdint>
#include <string>

namespace duvidu {

class DuviduByteCountFormatter {
public:
    DuviduByteCountFormatter() = delete;
    // "1,023 bytes", "1 KB", "2,048 GB": whole units (rounded down) with thousands grouped, up to GB.
    static std::string bytesCountDescription(uint64_t bytes);
};

}  // namespace duvidu
