#pragma once

#include <cstdint>

#include "Duvidu/DuviduDataCategory.h"
#include "Duvidu/DuviduDiscardReason.h"
#include "Duvidu/Value.h"

namespace duvidu {

// How many items of one category were dropped for one reason.
class DuviduDiscardedEvent {
public:
    DuviduDiscardedEvent(DuviduDiscardReason reason, DuviduDataCategory category, uint64_t quantity);

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
