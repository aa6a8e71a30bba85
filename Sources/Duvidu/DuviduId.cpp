#include "Duvidu/DuviduId.h"

#include <sys/random.h>

#include <cstring>
#include <random>

#include "Duvidu/DuviduPercentDecoding.h"

namespace duvidu {

namespace {

void fillRandom(uint8_t* out, size_t length)
{
    size_t done = 0;
    while (done < length) {
        ssize_t n = getrandom(out + done, length - done, 0);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    if (done < length) {
        // getrandom is only missing on very old kernels; an id must still be unique enough.
        thread_local std::random_device device;
        for (; done < length; ++done) out[done] = static_cast<uint8_t>(device());
    }
}

}  // namespace

DuviduId::DuviduId()
{
    fillRandom(uuid_.data(), uuid_.size());
    uuid_[6] = static_cast<uint8_t>((uuid_[6] & 0x0F) | 0x40);  // version 4
    uuid_[8] = static_cast<uint8_t>((uuid_[8] & 0x3F) | 0x80);  // RFC 4122 variant
}

DuviduId::DuviduId(const Bytes& uuid) : uuid_(uuid) {}

DuviduId DuviduId::fromUUIDString(std::string_view text)
{
    std::string dashed(text);
    if (dashed.size() == 32) {
        for (size_t index : {8, 13, 18, 23}) dashed.insert(index, 1, '-');
    }
    if (dashed.size() != 36) return empty();
    Bytes bytes{};
    size_t byte = 0;
    for (size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (dashed[i] != '-') return empty();
            ++i;
            continue;
        }
        int high = duvidu_hexDigitValue(dashed[i]);
        int low = duvidu_hexDigitValue(dashed[i + 1]);
        if (high < 0 || low < 0) return empty();
        bytes[byte++] = static_cast<uint8_t>(high << 4 | low);
        i += 2;
    }
    return DuviduId(bytes);
}

const DuviduId& DuviduId::empty()
{
    static const DuviduId zero(Bytes{});
    return zero;
}

std::string DuviduId::duviduIdString() const
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(32, '0');
    for (size_t i = 0; i < uuid_.size(); ++i) {
        text[2 * i] = digits[uuid_[i] >> 4];
        text[2 * i + 1] = digits[uuid_[i] & 0x0F];
    }
    return text;
}

size_t DuviduId::hash() const
{
    uint64_t high, low;
    std::memcpy(&high, uuid_.data(), 8);
    std::memcpy(&low, uuid_.data() + 8, 8);
    return std::hash<uint64_t>{}(high ^ (low * 0x9E3779B97F4A7C15ULL));
}

}  // namespace duvidu
