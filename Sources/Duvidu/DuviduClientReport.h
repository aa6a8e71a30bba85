#pragma once

#include <vector>

#include "Duvidu/DuviduDiscardedEvent.h"
#include "Duvidu/Value.h"

namespace duvidu {

// The lost-event counts the SDK gathered since its last report, sent along with the next stored envelope.
class DuviduClientReport {
public:
    // Made now (SDK clock).
    explicit DuviduClientReport(std::vector<DuviduDiscardedEvent> discardedEvents);

    DuviduDate timestamp() const { return timestamp_; }
    const std::vector<DuviduDiscardedEvent>& discardedEvents() const { return discardedEvents_; }

    // {"timestamp": ISO-8601 text with milliseconds, "discarded_events": [...]}
    Value::Object serialize() const;

private:
    DuviduDate timestamp_;
    std::vector<DuviduDiscardedEvent> discardedEvents_;
};

}  // namespace duvidu
