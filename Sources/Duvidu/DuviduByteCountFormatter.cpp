#include "Duvidu/DuviduByteCountFormatter.h"

#include <array>
#include <cmath>

namespace duvidu {

std::string DuviduByteCountFormatter::bytesCountDescription(uint64_t bytes)
{
    static constexpr std::array<const char*, 4> units = {"bytes", "KB", "MB", "GB"};
    size_t index = 0;
    double value = static_cast<double>(bytes);
    if (bytes >= 1024) {
        while (index < 3) {
            value *= 0.0009765625;
            ++index;
            if (value < 1024) break;
        }
    }
    // The grouping of the en_US number format, written by hand so the machine's locales do not matter.
    std::string digits = std::to_string(static_cast<uint64_t>(std::floor(value)));
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped + " " + units[index];
}

}  // namespace duvidu
