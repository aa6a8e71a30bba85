#include "Duvidu/DuviduSpanId.h"

#include <algorithm>

#include "Duvidu/DuviduId.h"

namespace duvidu {

DuviduSpanId::DuviduSpanId()
{
    // The first half of a random 128-bit id: 60 random bits (its version digit falls in this half), plenty for
    // telling the spans of one trace apart.
    DuviduId id;
    std::copy_n(id.uuid().begin(), bytes_.size(), bytes_.begin());
}

std::string DuviduSpanId::duviduSpanIdString() const
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(16);
    for (uint8_t byte : bytes_) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

}  // namespace duvidu
