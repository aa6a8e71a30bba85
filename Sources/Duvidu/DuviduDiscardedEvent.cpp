#include "Duvidu/DuviduDiscardedEvent.h"

namespace duvidu {

DuviduDiscardedEvent::DuviduDiscardedEvent(DuviduDiscardReason reason, DuviduDataCategory category, uint64_t quantity)
    : reason_(reason), category_(category), quantity_(quantity)
{
}

Value::Object DuviduDiscardedEvent::serialize() const
{
    return {{"reason", nameForDiscardReason(reason_)},
            {"category", nameForDataCategory(category_)},
            {"quantity", quantity_}};
}

}  // namespace duvidu
