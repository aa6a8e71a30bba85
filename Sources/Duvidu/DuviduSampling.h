#pragma once

#include <optional>

#include "Duvidu/DuviduRandomProtocol.h"
#include "Duvidu/DuviduSampleDecision.h"

namespace duvidu {

// The sampling rule shared by events, transactions and profiles: one number is drawn from the source, and what is
// sampled is kept when the rate is at or above it. A rate of 1.0 keeps everything; 0.0 keeps nothing (except a draw
// of exactly 0.0).
bool duvidu_isKeptByRate(double rate, DuviduRandomProtocol& random);

// The decision for a rate: Yes or No by one draw, with the rate. No rate gives No without drawing.
DuviduSamplerDecision duvidu_decisionForRate(std::optional<double> rate, DuviduRandomProtocol& random);

}  // namespace duvidu
