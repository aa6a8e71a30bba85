#include "Duvidu/DuviduUser.h"

#include "Duvidu/DuviduHash.h"
#include "Duvidu/DuviduMutableDictionary.h"
#include "Duvidu/DuviduSanitize.h"

namespace duvidu {

DuviduUser::DuviduUser(std::string userId) : userId(std::move(userId)) {}

DuviduUser DuviduUser::initWithDictionary(const Value::Object& dictionary)
{
    DuviduUser user;
    Value::Object unknown;
    for (const auto& [key, value] : dictionary) {
        const std::string* text = value.asString();
        if (key == "id" && text) user.userId = *text;
        else if (key == "email" && text) user.email = *text;
        else if (key == "username" && text) user.username = *text;
        else if (key == "ip_address" && text) user.ipAddress = *text;
        else if (key == "segment" && text) user.segment = *text;
        else if (key == "data" && value.isObject()) user.data = *value.asObject();
        else unknown[key] = value;
    }
    if (!unknown.empty()) user.unknown = std::move(unknown);
    return user;
}

Value::Object DuviduUser::serialize() const
{
    Value::Object json;
    setValueIfPresent(json, "id", userId);
    setValueIfPresent(json, "email", email);
    setValueIfPresent(json, "username", username);
    setValueIfPresent(json, "ip_address", ipAddress);
    setValueIfPresent(json, "segment", segment);
    setValueIfPresent(json, "name", name);
    if (geo) json["geo"] = geo->serialize();
    if (data) json["data"] = duvidu_sanitize(*data);
    // Keys of the source dictionary that no field took: JSON-ready like "data", so that one date among them cannot
    // spoil every event that carries this record.
    if (unknown) {
        for (auto& [key, value] : duvidu_sanitize(*unknown)) json[key] = std::move(value);
    }
    return json;
}

size_t DuviduUser::hash() const
{
    return DuviduHash()
        .add(userId)
        .add(email)
        .add(username)
        .add(ipAddress)
        .add(segment)
        .add(name)
        .add(geo ? geo->hash() : 0)
        .add(data)
        .add(unknown)
        .value();
}

}  // namespace duvidu
