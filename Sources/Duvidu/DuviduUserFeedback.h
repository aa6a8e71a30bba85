#pragma once

#include <string>

#include "Duvidu/DuviduId.h"
#include "Duvidu/Value.h"

namespace duvidu {

// A user's comment on an event, sent as an envelope item of its own.
class DuviduUserFeedback {
public:
    // ObjC: -[DuviduUserFeedback initWithEventId:] — name, email and comments start empty.
    explicit DuviduUserFeedback(DuviduId eventId);

    const DuviduId& eventId() const { return eventId_; }
    std::string name;
    std::string email;
    std::string comments;

    // {"event_id", "email", "name", "comments"}, all four always.
    Value::Object serialize() const;

private:
    DuviduId eventId_;
};

}  // namespace duvidu
