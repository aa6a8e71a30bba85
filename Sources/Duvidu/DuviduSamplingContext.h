#pragma once

#include "Duvidu/DuviduTransactionContext.h"
#include "Duvidu/Value.h"

namespace duvidu {

// What a sampler decides on: the transaction's context and whatever the caller added for its own sampler callback.
class DuviduSamplingContext {
public:
    // ObjC: -[DuviduSamplingContext initWithTransactionContext:customSamplingContext:]
    DuviduSamplingContext(DuviduTransactionContext transactionContext, Value::Object customSamplingContext)
        : transactionContext(std::move(transactionContext)), customSamplingContext(std::move(customSamplingContext))
    {
    }

    DuviduTransactionContext transactionContext;
    Value::Object customSamplingContext;
};

}  // namespace duvidu
