#include "Duvidu/DuviduException.h"

#include "Duvidu/DuviduMutableDictionary.h"

namespace duvidu {

DuviduException::DuviduException(std::string value, std::string type) : value(std::move(value)), type(std::move(type))
{
}

Value::Object DuviduException::serialize() const
{
    Value::Object json{{"value", value}, {"type", type}};
    if (mechanism) json["mechanism"] = mechanism->serialize();
    setValueIfPresent(json, "module", module);
    setValueIfPresent(json, "thread_id", threadId);
    if (stacktrace) json["stacktrace"] = stacktrace->serialize();
    return json;
}

}  // namespace duvidu
