#pragma once

#include <memory>

#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduTracer.h"

namespace duvidu {

// The event a finished tracer becomes: type "transaction", named after the tracer's transaction, from its start to
// its end.
class DuviduTransaction : public DuviduEvent {
public:
    // ObjC: -[DuviduTransaction initWithTrace:children:] — no child spans are recorded.
    explicit DuviduTransaction(std::shared_ptr<DuviduTracer> trace);

    // The tracer; its sampled decision tells whether the transaction is sent.
    const std::shared_ptr<DuviduTracer>& trace() const { return trace_; }

    // The event's JSON with an empty "spans" list, and the tracer's span as the "trace" context (in place of one
    // the scope put there).
    Value::Object serialize() override;

private:
    std::shared_ptr<DuviduTracer> trace_;
};

}  // namespace duvidu
