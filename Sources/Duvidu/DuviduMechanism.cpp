#include "Duvidu/DuviduMechanism.h"

#include "Duvidu/DuviduMutableDictionary.h"
#include "Duvidu/DuviduSanitize.h"

namespace duvidu {

DuviduMechanism::DuviduMechanism(std::string type) : type(std::move(type)) {}

Value::Object DuviduMechanism::serialize() const
{
    Value::Object json{{"type", type}};
    setValueIfPresent(json, "handled", handled);
    setValueIfPresent(json, "synthetic", synthetic);
    setValueIfPresent(json, "description", desc);
    if (data) json["data"] = duvidu_sanitize(*data);
    setValueIfPresent(json, "help_link", helpLink);
    if (meta) json["meta"] = meta->serialize();
    return json;
}

}  // namespace duvidu
