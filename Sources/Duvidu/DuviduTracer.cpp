#include "Duvidu/DuviduTracer.h"

#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduTransaction.h"

namespace duvidu {

DuviduTracer::DuviduTracer(DuviduTransactionContext transactionContext, const std::shared_ptr<DuviduTracerHub>& hub,
                           DuviduTracerConfiguration configuration)
    : transactionContext_(std::move(transactionContext)),
      hub_(hub),
      configuration_(std::move(configuration)),
      startTimestamp_(DuviduCurrentDate::date()),
      startSystemTime_(DuviduCurrentDate::systemTime())
{
}

std::shared_ptr<DuviduTracer> DuviduTracer::getTracer(const std::shared_ptr<DuviduSpan>& span)
{
    return std::dynamic_pointer_cast<DuviduTracer>(span);
}

std::optional<DuviduDate> DuviduTracer::timestamp() const
{
    std::lock_guard lock(mutex_);
    return timestamp_;
}

uint64_t DuviduTracer::endSystemTime() const
{
    std::lock_guard lock(mutex_);
    return endSystemTime_;
}

void DuviduTracer::finish()
{
    {
        std::lock_guard lock(mutex_);
        if (timestamp_) return;
        timestamp_ = DuviduCurrentDate::date();
        endSystemTime_ = DuviduCurrentDate::systemTime();
    }
    auto hub = hub_.lock();
    if (!hub) return;
    auto scope = hub->scope();
    if (scope) {
        // A finished transaction is no longer the work that later events happen in.
        scope->useSpan([&](const std::shared_ptr<DuviduSpan>& span) {
            if (span.get() == this) scope->setSpan(nullptr);
        });
    }
    hub->captureTransaction(std::make_shared<DuviduTransaction>(shared_from_this()), scope);
}

Value::Object DuviduTracer::serialize() const
{
    Value::Object json{
        {"trace_id", transactionContext_.traceId.duviduIdString()},
        {"span_id", transactionContext_.spanId.duviduSpanIdString()},
        {"op", transactionContext_.operation},
        {"origin", transactionContext_.origin},
        {"start_timestamp", duvidu_secondsSince1970(startTimestamp_)},
    };
    if (transactionContext_.parentSpanId) json["parent_span_id"] = transactionContext_.parentSpanId->duviduSpanIdString();
    if (auto end = timestamp()) json["timestamp"] = duvidu_secondsSince1970(*end);
    return json;
}

}  // namespace duvidu
