#include "Duvidu/DuviduTransactionContext.h"

#include <utility>

namespace duvidu {

DuviduTransactionContext::DuviduTransactionContext(std::string name, DuviduTransactionNameSource nameSource,
                                                   std::string operation, std::string origin)
    : name(std::move(name)), nameSource(nameSource), operation(std::move(operation)), origin(std::move(origin))
{
}

DuviduTransactionContext::DuviduTransactionContext(std::string name, DuviduTransactionNameSource nameSource,
                                                   std::string operation, std::string origin, DuviduId traceId,
                                                   DuviduSpanId spanId, std::optional<DuviduSpanId> parentSpanId,
                                                   DuviduSampleDecision sampled, DuviduSampleDecision parentSampled)
    : name(std::move(name)),
      nameSource(nameSource),
      operation(std::move(operation)),
      origin(std::move(origin)),
      traceId(traceId),
      spanId(spanId),
      parentSpanId(parentSpanId),
      sampled(sampled),
      parentSampled(parentSampled)
{
}

}  // namespace duvidu
