#pragma once

#include <string>

#include "Duvidu/DuviduSpan.h"

namespace duvidu {

// The span at the root of a transaction.
class DuviduTracer : public DuviduSpan {
public:
    // The name of the tracer's transaction context: the transaction's name.
    virtual std::string transactionName() const = 0;
};

}  // namespace duvidu
