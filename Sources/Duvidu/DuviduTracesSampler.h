#pragma once

#include <memory>

#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduRandomProtocol.h"
#include "Duvidu/DuviduSampleDecision.h"
#include "Duvidu/DuviduSamplingContext.h"

namespace duvidu {

// Decides whether a new transaction is sent.
class DuviduTracesSampler {
public:
    // ObjC: -[DuviduTracesSampler initWithOptions:] — no options (a hub without a client) samples nothing. The
    // numbers come from the container's random source.
    explicit DuviduTracesSampler(std::shared_ptr<const DuviduOptions> options);

    // In this order: a decision the transaction context already carries; No while tracing is off; the rate that
    // the options' sampler callback gives (a rate outside 0 to 1 counts as none); the parent's decision; the
    // options' traces sample rate; else No.
    DuviduTracesSamplerDecision sample(const DuviduSamplingContext& context);

private:
    std::shared_ptr<const DuviduOptions> options_;
    std::shared_ptr<DuviduRandomProtocol> random_;
};

}  // namespace duvidu
