#include "Duvidu/DuviduUserFeedback.h"

namespace duvidu {

DuviduUserFeedback::DuviduUserFeedback(DuviduId eventId) : eventId_(eventId) {}

Value::Object DuviduUserFeedback::serialize() const
{
    return {{"event_id", eventId_.duviduIdString()}, {"email", email}, {"name", name}, {"comments", comments}};
}

}  // namespace duvidu
