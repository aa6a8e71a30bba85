#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "Duvidu/DuviduGeo.h"
#include "Duvidu/Value.h"

namespace duvidu {

// The user an event or a session is about. Copying a user copies every field.
class DuviduUser {
public:
    // ObjC: -[DuviduUser init] — every field absent.
    DuviduUser() = default;
    // ObjC: -[DuviduUser initWithUserId:]
    explicit DuviduUser(std::string userId);
    // ObjC: -[DuviduUser initWithDictionary:] — "id", "email", "username", "ip_address", "segment" (texts) and
    // "data" (a dictionary) fill their fields; every other key, and a known key whose value has the wrong type, goes
    // to unknown ("name" and "geo" always do).
    static DuviduUser initWithDictionary(const Value::Object& dictionary);

    std::optional<std::string> userId;
    std::optional<std::string> email;
    std::optional<std::string> username;
    std::optional<std::string> ipAddress;
    std::optional<std::string> segment;
    std::optional<std::string> name;
    std::optional<DuviduGeo> geo;
    std::optional<Value::Object> data;
    // Keys of a source dictionary that no field took; written back last.
    std::optional<Value::Object> unknown;

    // "id", "email", "username", "ip_address", "segment", "name", "geo", "data" (sanitized), then every unknown
    // entry, replacing a key written before.
    Value::Object serialize() const;
    // Compares the fields in declaration order.
    bool operator==(const DuviduUser& other) const = default;
    size_t hash() const;
};

}  // namespace duvidu
