#pragma once

#include <cstdint>
#include <string>

namespace duvidu {

// Why the SDK dropped data instead of sending it.
enum class DuviduDiscardReason : uint64_t {
    BeforeSend = 0,
    EventProcessor = 1,
    SampleRate = 2,
    NetworkError = 3,
    QueueOverflow = 4,
    CacheOverflow = 5,
    RateLimitBackoff = 6,
};

// "before_send", "event_processor", "sample_rate", "network_error", "queue_overflow", "cache_overflow",
// "ratelimit_backoff".
std::string nameForDiscardReason(DuviduDiscardReason reason);

}  // namespace duvidu
