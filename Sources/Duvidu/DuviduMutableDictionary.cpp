#include "Duvidu/DuviduMutableDictionary.h"

namespace duvidu {

void mergeEntriesFromDictionary(Value::Object& receiver, const Value::Object& other)
{
    for (const auto& [key, value] : other) {
        auto it = receiver.find(key);
        if (it != receiver.end() && value.isObject() && it->second.isObject()) {
            mergeEntriesFromDictionary(*it->second.asObject(), *value.asObject());
        } else {
            receiver[key] = value;
        }
    }
}

void setBoolValue(Value::Object& receiver, const std::optional<Value>& value, const std::string& key)
{
    if (!value) return;
    double number = 0;
    if (!value->numberAsDouble(number)) return;
    receiver[key] = number != 0;
}

}  // namespace duvidu
