#include "Duvidu/DuviduSampling.h"

namespace duvidu {

bool duvidu_isKeptByRate(double rate, DuviduRandomProtocol& random)
{
    return rate >= random.nextNumber();
}

DuviduSamplerDecision duvidu_decisionForRate(std::optional<double> rate, DuviduRandomProtocol& random)
{
    if (!rate) return {DuviduSampleDecision::No, std::nullopt};
    return {duvidu_isKeptByRate(*rate, random) ? DuviduSampleDecision::Yes : DuviduSampleDecision::No, rate};
}

}  // namespace duvidu
