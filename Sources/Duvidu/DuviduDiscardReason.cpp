#include "Duvidu/DuviduDiscardReason.h"

namespace duvidu {

std::string nameForDiscardReason(DuviduDiscardReason reason)
{
    switch (reason) {
    case DuviduDiscardReason::BeforeSend: return "before_send";
    case DuviduDiscardReason::EventProcessor: return "event_processor";
    case DuviduDiscardReason::SampleRate: return "sample_rate";
    case DuviduDiscardReason::NetworkError: return "network_error";
    case DuviduDiscardReason::QueueOverflow: return "queue_overflow";
    case DuviduDiscardReason::CacheOverflow: return "cache_overflow";
    case DuviduDiscardReason::RateLimitBackoff: return "ratelimit_backoff";
    }
    return "";
}

}  // namespace duvidu
