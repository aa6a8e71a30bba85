#include "Duvidu/DuviduTracesSampler.h"

#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduSampling.h"

namespace duvidu {

DuviduTracesSampler::DuviduTracesSampler(std::shared_ptr<const DuviduOptions> options)
    : options_(std::move(options)), random_(DuviduDependencyContainer::sharedInstance()->random())
{
}

DuviduTracesSamplerDecision DuviduTracesSampler::sample(const DuviduSamplingContext& context)
{
    const auto& transaction = context.transactionContext;
    if (transaction.sampled != DuviduSampleDecision::Undecided) return {transaction.sampled, transaction.sampleRate};
    if (!options_ || !options_->isTracingEnabled()) return {DuviduSampleDecision::No, std::nullopt};

    if (const auto& sampler = options_->tracesSampler()) {
        auto rate = sampler(context);
        if (rate && DuviduOptions::isValidTracesSampleRate(*rate)) return duvidu_decisionForRate(rate, *random_);
    }
    if (transaction.parentSampled != DuviduSampleDecision::Undecided) return {transaction.parentSampled, std::nullopt};
    return duvidu_decisionForRate(options_->tracesSampleRate(), *random_);
}

}  // namespace duvidu
