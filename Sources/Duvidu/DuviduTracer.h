#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Duvidu/DuviduSpan.h"
#include "Duvidu/DuviduTracerConfiguration.h"
#include "Duvidu/DuviduTracerHub.h"
#include "Duvidu/DuviduTransactionContext.h"

namespace duvidu {

// The span at the root of a transaction: it starts when it is made and, when finished, becomes a transaction event
// that its hub captures. Held by std::shared_ptr; safe from any thread.
class DuviduTracer : public DuviduSpan, public std::enable_shared_from_this<DuviduTracer> {
public:
    // ObjC: -[DuviduTracer initWithTransactionContext:hub:configuration:] — started now (the SDK clock). The hub is
    // not kept alive by its tracers (its scope may hold one); none makes a tracer whose transaction goes nowhere.
    DuviduTracer(DuviduTransactionContext transactionContext, const std::shared_ptr<DuviduTracerHub>& hub,
                 DuviduTracerConfiguration configuration);

    // ObjC: +[DuviduTracer getTracer:] — the tracer the span belongs to: the span itself when it is a tracer, else
    // none.
    static std::shared_ptr<DuviduTracer> getTracer(const std::shared_ptr<DuviduSpan>& span);

    const DuviduTransactionContext& transactionContext() const { return transactionContext_; }
    // The name of the transaction context.
    std::string transactionName() const { return transactionContext_.name; }
    const DuviduId& traceId() const { return transactionContext_.traceId; }
    DuviduSampleDecision sampled() const { return transactionContext_.sampled; }
    const DuviduTracerConfiguration& configuration() const { return configuration_; }
    DuviduDate startTimestamp() const { return startTimestamp_; }
    uint64_t startSystemTime() const { return startSystemTime_; }
    // None until finished.
    std::optional<DuviduDate> timestamp() const;
    uint64_t endSystemTime() const;
    bool isFinished() const { return timestamp().has_value(); }

    // Ends the transaction now: takes the tracer off its hub's scope when it is the scope's span there, and hands
    // the transaction to the hub. Only the first call does anything.
    void finish();

    // "trace_id", "span_id", "parent_span_id" (when there is a parent), "op", "origin", "start_timestamp" and,
    // once finished, "timestamp" (seconds since 1970).
    Value::Object serialize() const override;

private:
    const DuviduTransactionContext transactionContext_;
    const std::weak_ptr<DuviduTracerHub> hub_;
    const DuviduTracerConfiguration configuration_;
    const DuviduDate startTimestamp_;
    const uint64_t startSystemTime_;
    mutable std::mutex mutex_;
    std::optional<DuviduDate> timestamp_;
    uint64_t endSystemTime_ = 0;
};

}  // namespace duvidu
