#pragma once

#include <optional>
#include <string>

#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduSampleDecision.h"
#include "Duvidu/DuviduSpanId.h"
#include "Duvidu/DuviduTransactionNameSource.h"

namespace duvidu {

// What a transaction is about (its name, operation and origin) and where it sits in a trace. A plain value.
class DuviduTransactionContext {
public:
    // ObjC: -[DuviduTransactionContext initWithName:nameSource:operation:origin:] — a new trace and span id, no
    // parent, nothing decided.
    DuviduTransactionContext(std::string name, DuviduTransactionNameSource nameSource, std::string operation,
                             std::string origin);
    // ObjC: -[DuviduTransactionContext initWithName:nameSource:operation:origin:traceId:spanId:parentSpanId:sampled:
    // parentSampled:]
    DuviduTransactionContext(std::string name, DuviduTransactionNameSource nameSource, std::string operation,
                             std::string origin, DuviduId traceId, DuviduSpanId spanId,
                             std::optional<DuviduSpanId> parentSpanId, DuviduSampleDecision sampled,
                             DuviduSampleDecision parentSampled);

    std::string name;
    DuviduTransactionNameSource nameSource;
    std::string operation;
    std::string origin;
    DuviduId traceId;
    DuviduSpanId spanId;
    std::optional<DuviduSpanId> parentSpanId;
    DuviduSampleDecision sampled = DuviduSampleDecision::Undecided;
    DuviduSampleDecision parentSampled = DuviduSampleDecision::Undecided;
    // The rate the sampling decision was drawn against, set by the hub when it starts the transaction.
    std::optional<double> sampleRate;
};

}  // namespace duvidu
