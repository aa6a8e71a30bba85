#pragma once

#include <cstdint>
#include <string>

namespace duvidu {

// The kinds of data the service accounts separately, for rate limits and lost-event counts.
enum class DuviduDataCategory : uint64_t {
    All = 0,
    Default = 1,
    Error = 2,
    Session = 3,
    Transaction = 4,
    Attachment = 5,
    UserFeedback = 6,
    Profile = 7,
    Unknown = 8,
};

// "" for All, then "default", "error", "session", "transaction", "attachment", "user_report", "profile", "unknown";
// a value outside the table is "unknown".
std::string nameForDataCategory(DuviduDataCategory category);
// The category of an envelope item type: "event" is error, "session", "transaction", "attachment", "user_report" and
// "profile" their own; any other type is default.
DuviduDataCategory dataCategoryForEnvelopeItemType(const std::string& itemType);

}  // namespace duvidu
