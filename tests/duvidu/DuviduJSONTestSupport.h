#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "Duvidu/DuviduSerialization.h"

namespace duvidu {

// Lets failed comparisons print values as text.
inline void PrintTo(const Value& value, std::ostream* out)
{
    *out << value.description();
}

}  // namespace duvidu

namespace duvidutest {

// The value of a JSON text; a test failure when it does not parse.
inline duvidu::Value parseJSON(const std::string& text)
{
    std::string error;
    auto value = duvidu::DuviduSerialization::JSONObjectWithData(reinterpret_cast<const uint8_t*>(text.data()),
                                                                 text.size(), &error);
    EXPECT_TRUE(value) << error << " in " << text;
    return value.value_or(duvidu::Value());
}

// A dictionary as it reads back after being written as JSON, so that it compares with parseJSON of the expected text
// (numbers come back in the kinds the parser gives them).
inline duvidu::Value roundTrip(const duvidu::Value::Object& object)
{
    auto data = duvidu::DuviduSerialization::dataWithJSONObject(object);
    EXPECT_TRUE(data);
    return data ? parseJSON(std::string(data->begin(), data->end())) : duvidu::Value();
}

// The member `key` of an object value; null when the value is absent, not an object, or has no such member.
inline const duvidu::Value* at(const duvidu::Value* value, const std::string& key)
{
    auto object = value ? value->asObject() : nullptr;
    if (!object) return nullptr;
    auto it = object->find(key);
    return it == object->end() ? nullptr : &it->second;
}

}  // namespace duvidutest
