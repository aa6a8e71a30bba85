#include "Duvidu/DuviduSanitize.h"

#include "Duvidu/DuviduDateExtras.h"

namespace duvidu {

namespace {

Value sanitizeValue(const Value& value)
{
    if (value.isString() || value.isNumber() || value.isBool()) return value;
    if (auto object = value.asObject()) return duvidu_sanitize(*object);
    if (auto array = value.asArray()) return duvidu_sanitize(*array);
    if (auto date = value.asDate()) return duvidu_toIso8601String(*date);
    return value.description();
}

}  // namespace

Value::Object duvidu_sanitize(const Value::Object& dictionary)
{
    Value::Object result;
    for (const auto& [key, value] : dictionary) {
        if (key.rfind("__duvidu", 0) == 0) continue;
        result[key] = sanitizeValue(value);
    }
    return result;
}

Value::Array duvidu_sanitize(const Value::Array& array)
{
    Value::Array result;
    result.reserve(array.size());
    for (const auto& value : array) result.push_back(sanitizeValue(value));
    return result;
}

}  // namespace duvidu
