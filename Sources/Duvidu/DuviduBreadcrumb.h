#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "Duvidu/DuviduLevel.h"
#include "Duvidu/Value.h"

namespace duvidu {

// One entry of the trail of things that happened before an event.
class DuviduBreadcrumb {
public:
    // ObjC: -[DuviduBreadcrumb init] — level info, category "default", the machine's current time.
    DuviduBreadcrumb();
    // ObjC: -[DuviduBreadcrumb initWithLevel:category:] — the machine's current time (not the SDK clock).
    DuviduBreadcrumb(DuviduLevel level, std::string category);
    // ObjC: -[DuviduBreadcrumb initWithDictionary:] — starts at level none with every other field absent; "level"
    // (a level name), "timestamp" (ISO-8601 text), "category", "type", "message" (texts) and "data" (a dictionary)
    // fill their fields, every other key, and a known key whose value has the wrong type, goes to unknown.
    static DuviduBreadcrumb initWithDictionary(const Value::Object& dictionary);

    DuviduLevel level = DuviduLevel::Info;
    std::optional<std::string> category;
    std::optional<DuviduDate> timestamp;
    std::optional<std::string> type;
    std::optional<std::string> message;
    std::optional<Value::Object> data;
    // Keys of a source dictionary that no field took; written back last.
    std::optional<Value::Object> unknown;

    // "level" (its name, always), "timestamp" (ISO-8601 with milliseconds), "category", "type", "message", "data"
    // (sanitized), then every unknown entry, replacing a key written before.
    Value::Object serialize() const;
    // Compares the fields in declaration order.
    bool operator==(const DuviduBreadcrumb& other) const = default;
    size_t hash() const;
    // "<DuviduBreadcrumb: 0x…, {…}>" with the serialized dictionary.
    std::string description() const;
};

}  // namespace duvidu
