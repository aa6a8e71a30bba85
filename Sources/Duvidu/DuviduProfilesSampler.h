#pragma once

#include <memory>

#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduRandomProtocol.h"
#include "Duvidu/DuviduSampleDecision.h"
#include "Duvidu/DuviduSamplingContext.h"

namespace duvidu {

// Decides whether a sampled transaction is also profiled.
class DuviduProfilesSampler {
public:
    // ObjC: -[DuviduProfilesSampler initWithOptions:] — the numbers come from the container's random source.
    explicit DuviduProfilesSampler(std::shared_ptr<const DuviduOptions> options);

    // No unless the traces decision is Yes; then the rate of the options' profiles sampler callback (a rate
    // outside 0 to 1 counts as none), else the profiles sample rate, else Yes when profiling is switched on by
    // hand, else No.
    DuviduProfilesSamplerDecision sample(const DuviduSamplingContext& context,
                                         const DuviduTracesSamplerDecision& tracesSamplerDecision);

private:
    std::shared_ptr<const DuviduOptions> options_;
    std::shared_ptr<DuviduRandomProtocol> random_;
};

}  // namespace duvidu
