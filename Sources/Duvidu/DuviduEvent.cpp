#include "Duvidu/DuviduEvent.h"

#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduMutableDictionary.h"
#include "Duvidu/DuviduSanitize.h"

namespace duvidu {

namespace {

template <typename Record>
Value::Array serializeAll(const std::vector<Record>& records)
{
    Value::Array array;
    array.reserve(records.size());
    for (const auto& record : records) array.emplace_back(record.serialize());
    return array;
}

}  // namespace

double duvidu_secondsSince1970(DuviduDate date)
{
    // Whole seconds and the fraction apart: the nanosecond count alone has more digits than a double holds.
    auto seconds = std::chrono::floor<std::chrono::seconds>(date);
    return static_cast<double>(seconds.time_since_epoch().count()) +
           std::chrono::duration<double>(date - seconds).count();
}

DuviduEvent::DuviduEvent() : DuviduEvent(DuviduLevel::None) {}

DuviduEvent::DuviduEvent(DuviduLevel level) : timestamp(DuviduCurrentDate::date()), level(level) {}

DuviduEvent::DuviduEvent(const NSError& error) : DuviduEvent(DuviduLevel::Error)
{
    this->error = error;
}

Value::Object DuviduEvent::serialize()
{
    if (!timestamp) timestamp = DuviduCurrentDate::date();
    Value::Object json{
        {"event_id", eventId.duviduIdString()},
        {"timestamp", duvidu_secondsSince1970(*timestamp)},
        {"platform", "cocoa"},
    };
    if (level != DuviduLevel::None) json["level"] = nameForLevel(level);
    addSimpleProperties(json);
    addOptionalListProperties(json);
    if (extra) json["extra"] = duvidu_sanitize(*extra);
    if (tags) json["tags"] = *tags;
    return json;
}

void DuviduEvent::addSimpleProperties(Value::Object& json)
{
    if (sdk) json["sdk"] = duvidu_sanitize(*sdk);
    setValueIfPresent(json, "release", releaseName);
    setValueIfPresent(json, "dist", dist);
    setValueIfPresent(json, "environment", environment);
    setValueIfPresent(json, "transaction", transaction);
    if (fingerprint) json["fingerprint"] = Value::Array(fingerprint->begin(), fingerprint->end());
    if (user) json["user"] = user->serialize();
    if (modules) json["modules"] = *modules;
    if (stacktrace) json["stacktrace"] = stacktrace->serialize();
    auto allBreadcrumbs = serializeBreadcrumbs();
    if (serializedBreadcrumbs) allBreadcrumbs.insert(allBreadcrumbs.end(), serializedBreadcrumbs->begin(),
                                                     serializedBreadcrumbs->end());
    if (!allBreadcrumbs.empty()) json["breadcrumbs"] = std::move(allBreadcrumbs);
    if (context) json["contexts"] = duvidu_sanitize(*context);
    if (message) json["message"] = message->serialize();
    setValueIfPresent(json, "logger", logger);
    setValueIfPresent(json, "server_name", serverName);
    setValueIfPresent(json, "type", type);
    if (type == "transaction") {
        auto start = startTimestamp ? startTimestamp : timestamp;
        json["start_timestamp"] = duvidu_secondsSince1970(start ? *start : DuviduCurrentDate::date());
    }
    if (request) json["request"] = request->serialize();
}

void DuviduEvent::addOptionalListProperties(Value::Object& json) const
{
    addThreads(json);
    addExceptions(json);
    addDebugImages(json);
}

void DuviduEvent::addThreads(Value::Object& json) const
{
    if (threads && !threads->empty()) json["threads"] = Value::Object{{"values", serializeAll(*threads)}};
}

void DuviduEvent::addExceptions(Value::Object& json) const
{
    if (exceptions && !exceptions->empty()) json["exception"] = Value::Object{{"values", serializeAll(*exceptions)}};
}

void DuviduEvent::addDebugImages(Value::Object& json) const
{
    if (debugMeta && !debugMeta->empty()) json["debug_meta"] = Value::Object{{"images", serializeAll(*debugMeta)}};
}

Value::Array DuviduEvent::serializeBreadcrumbs() const
{
    return breadcrumbs ? serializeAll(*breadcrumbs) : Value::Array{};
}

}  // namespace duvidu
