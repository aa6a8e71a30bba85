#include "Duvidu/DuviduProfilesSampler.h"

#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduSampling.h"

namespace duvidu {

DuviduProfilesSampler::DuviduProfilesSampler(std::shared_ptr<const DuviduOptions> options)
    : options_(std::move(options)), random_(DuviduDependencyContainer::sharedInstance()->random())
{
}

DuviduProfilesSamplerDecision DuviduProfilesSampler::sample(const DuviduSamplingContext& context,
                                                            const DuviduTracesSamplerDecision& tracesSamplerDecision)
{
    if (!options_ || tracesSamplerDecision.decision != DuviduSampleDecision::Yes) {
        return {DuviduSampleDecision::No, std::nullopt};
    }
    if (options_->profilesSampler) {
        auto rate = options_->profilesSampler(context);
        if (rate && DuviduOptions::isValidProfilesSampleRate(*rate)) return duvidu_decisionForRate(rate, *random_);
    }
    if (auto rate = options_->profilesSampleRate()) return duvidu_decisionForRate(rate, *random_);
    if (options_->enableProfiling) return {DuviduSampleDecision::Yes, std::nullopt};
    return {DuviduSampleDecision::No, std::nullopt};
}

}  // namespace duvidu
