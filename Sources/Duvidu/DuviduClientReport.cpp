#include "Duvidu/DuviduClientReport.h"

#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduDateExtras.h"

namespace duvidu {

DuviduClientReport::DuviduClientReport(std::vector<DuviduDiscardedEvent> discardedEvents)
    : timestamp_(DuviduCurrentDate::date()), discardedEvents_(std::move(discardedEvents))
{
}

Value::Object DuviduClientReport::serialize() const
{
    Value::Array events;
    events.reserve(discardedEvents_.size());
    for (const auto& event : discardedEvents_) events.emplace_back(event.serialize());
    return {{"timestamp", duvidu_toIso8601String(timestamp_)}, {"discarded_events", std::move(events)}};
}

}  // namespace duvidu
