#include "Duvidu/DuviduDataCategory.h"

namespace duvidu {

std::string nameForDataCategory(DuviduDataCategory category)
{
    switch (category) {
    case DuviduDataCategory::All: return "";
    case DuviduDataCategory::Default: return "default";
    case DuviduDataCategory::Error: return "error";
    case DuviduDataCategory::Session: return "session";
    case DuviduDataCategory::Transaction: return "transaction";
    case DuviduDataCategory::Attachment: return "attachment";
    case DuviduDataCategory::UserFeedback: return "user_report";
    case DuviduDataCategory::Profile: return "profile";
    case DuviduDataCategory::Unknown: break;
    }
    return "unknown";
}

DuviduDataCategory dataCategoryForEnvelopeItemType(const std::string& itemType)
{
    if (itemType == "event") return DuviduDataCategory::Error;
    if (itemType == "session") return DuviduDataCategory::Session;
    if (itemType == "transaction") return DuviduDataCategory::Transaction;
    if (itemType == "attachment") return DuviduDataCategory::Attachment;
    if (itemType == "user_report") return DuviduDataCategory::UserFeedback;
    if (itemType == "profile") return DuviduDataCategory::Profile;
    return DuviduDataCategory::Default;
}

}  // namespace duvidu
