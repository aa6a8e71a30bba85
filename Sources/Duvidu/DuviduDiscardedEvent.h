#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "Duvidu/DuviduDataCategory.h"
#include "Duvidu/DuviduDiscardReason.h"
#include "Duvidu/Value.h"

namespace duvidu {

// How many items of one category were dropped for one reason.
class DuviduDiscardedEvent {
public:
    DuviduDiscardedEvent(DuviduDiscardReason reason, DuviduDataCategory category, uint64_t quantity);
    // The form serialize writes; nullopt when a name is unknown or the quantity is not a whole number.
    static std::optional<DuviduDiscardedEvent> initWithDictionary(const Value::Object& dictionary);
    // Every entry of the "discarded_events" list of a client report's JSON that reads as one.
    static std::vector<DuviduDiscardedEvent> listFromClientReport(const Value::Object& clientReport);

    DuviduDiscardReason reason() const { return reason_; }
    DuviduDataCategory category() const { return category_; }
    uint64_t quantity() const { return quantity_; }

    // {"reason", "category", "quantity"} with the names of reason and category.
    Value::Object serialize() const;

private:
    DuviduDiscardReason reason_;
    DuviduDataCategory category_;
    uint64_t quantity_;
};

}  // namespace duvidu
