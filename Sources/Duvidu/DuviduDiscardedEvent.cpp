#include "Duvidu/DuviduDiscardedEvent.h"

namespace duvidu {

namespace {

std::optional<std::string> textAt(const Value::Object& dictionary, const char* key)
{
    auto it = dictionary.find(key);
    auto text = it == dictionary.end() ? nullptr : it->second.asString();
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

}  // namespace

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

std::optional<DuviduDiscardedEvent> DuviduDiscardedEvent::initWithDictionary(const Value::Object& dictionary)
{
    const auto reasonName = textAt(dictionary, "reason");
    const auto categoryName = textAt(dictionary, "category");
    auto quantity = dictionary.find("quantity");
    uint64_t count = 0;
    if (!reasonName || !categoryName || quantity == dictionary.end() || !quantity->second.isNumber() ||
        !quantity->second.numberAsUInt64(count))
        return std::nullopt;
    std::optional<DuviduDiscardReason> reason;
    for (uint64_t i = 0; i <= static_cast<uint64_t>(DuviduDiscardReason::RateLimitBackoff) && !reason; ++i) {
        if (nameForDiscardReason(static_cast<DuviduDiscardReason>(i)) == *reasonName)
            reason = static_cast<DuviduDiscardReason>(i);
    }
    std::optional<DuviduDataCategory> category;
    for (uint64_t i = 0; i <= static_cast<uint64_t>(DuviduDataCategory::Unknown) && !category; ++i) {
        if (nameForDataCategory(static_cast<DuviduDataCategory>(i)) == *categoryName)
            category = static_cast<DuviduDataCategory>(i);
    }
    if (!reason || !category) return std::nullopt;
    return DuviduDiscardedEvent(*reason, *category, count);
}

std::vector<DuviduDiscardedEvent> DuviduDiscardedEvent::listFromClientReport(const Value::Object& clientReport)
{
    std::vector<DuviduDiscardedEvent> events;
    auto list = clientReport.find("discarded_events");
    if (list == clientReport.end() || !list->second.isArray()) return events;
    for (const auto& value : *list->second.asArray()) {
        auto dictionary = value.asObject();
        if (auto event = dictionary ? initWithDictionary(*dictionary) : std::nullopt) events.push_back(*event);
    }
    return events;
}

}  // namespace duvidu
