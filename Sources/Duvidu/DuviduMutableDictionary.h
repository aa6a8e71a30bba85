#pragma once

#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// Deep merge: where both sides hold a dictionary under a key the two are merged by the same rule; otherwise the
// other value replaces or adds the entry.
void mergeEntriesFromDictionary(Value::Object& receiver, const Value::Object& other);

// Stores the truth of a number (0 false, anything else true) or a boolean under the key; an absent value, or one
// that is neither, leaves the dictionary as it was.
void setBoolValue(Value::Object& receiver, const std::optional<Value>& value, const std::string& key);

// Stores the value under the key when it is present; an absent value leaves the dictionary as it was.
template <typename T>
void setValueIfPresent(Value::Object& receiver, const std::string& key, const std::optional<T>& value)
{
    if (value) receiver[key] = Value(*value);
}

}  // namespace duvidu
