#pragma once

#include <optional>

namespace duvidu {

// Whether a transaction (and the spans under it) is sent.
enum class DuviduSampleDecision { Undecided = 0, Yes = 1, No = 2 };

// The result of a sampler: the decision and the rate it was drawn against, when there was one.
struct DuviduSamplerDecision {
    DuviduSampleDecision decision = DuviduSampleDecision::Undecided;
    std::optional<double> sampleRate;
};

// The traces sampler's result type.
using DuviduTracesSamplerDecision = DuviduSamplerDecision;
// The profiles sampler's result type.
using DuviduProfilesSamplerDecision = DuviduSamplerDecision;

}  // namespace duvidu
