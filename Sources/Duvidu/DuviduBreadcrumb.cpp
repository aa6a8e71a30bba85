#include "Duvidu/DuviduBreadcrumb.h"

#include "Duvidu/DuviduDateExtras.h"
#include "Duvidu/DuviduDescription.h"
#include "Duvidu/DuviduHash.h"
#include "Duvidu/DuviduMutableDictionary.h"
#include "Duvidu/DuviduSanitize.h"

namespace duvidu {

DuviduBreadcrumb::DuviduBreadcrumb() : DuviduBreadcrumb(DuviduLevel::Info, "default") {}

DuviduBreadcrumb::DuviduBreadcrumb(DuviduLevel level, std::string category)
    : level(level), category(std::move(category)), timestamp(std::chrono::system_clock::now())
{
}

DuviduBreadcrumb DuviduBreadcrumb::initWithDictionary(const Value::Object& dictionary)
{
    DuviduBreadcrumb breadcrumb;
    breadcrumb.level = DuviduLevel::None;
    breadcrumb.category.reset();
    breadcrumb.timestamp.reset();
    Value::Object unknown;
    for (const auto& [key, value] : dictionary) {
        const std::string* text = value.asString();
        if (key == "level" && text) breadcrumb.level = levelForName(*text);
        else if (key == "timestamp" && text) breadcrumb.timestamp = duvidu_fromIso8601String(*text);
        else if (key == "category" && text) breadcrumb.category = *text;
        else if (key == "type" && text) breadcrumb.type = *text;
        else if (key == "message" && text) breadcrumb.message = *text;
        else if (key == "data" && value.isObject()) breadcrumb.data = *value.asObject();
        else unknown[key] = value;
    }
    if (!unknown.empty()) breadcrumb.unknown = std::move(unknown);
    return breadcrumb;
}

Value::Object DuviduBreadcrumb::serialize() const
{
    Value::Object json{{"level", nameForLevel(level)}};
    if (timestamp) json["timestamp"] = duvidu_toIso8601String(*timestamp);
    setValueIfPresent(json, "category", category);
    setValueIfPresent(json, "type", type);
    setValueIfPresent(json, "message", message);
    if (data) json["data"] = duvidu_sanitize(*data);
    // Keys of the source dictionary that no field took: JSON-ready like "data", so that one date among them cannot
    // spoil every event that carries this record.
    if (unknown) {
        for (auto& [key, value] : duvidu_sanitize(*unknown)) json[key] = std::move(value);
    }
    return json;
}

size_t DuviduBreadcrumb::hash() const
{
    return DuviduHash()
        .add(static_cast<uint64_t>(level))
        .add(category)
        .add(timestamp)
        .add(type)
        .add(message)
        .add(data)
        .add(unknown)
        .value();
}

std::string DuviduBreadcrumb::description() const
{
    return duvidu_objectDescription("DuviduBreadcrumb", this, serialize());
}

}  // namespace duvidu
