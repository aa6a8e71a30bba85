#pragma once

#include "Duvidu/Value.h"

namespace duvidu {

// Makes free-form values JSON-ready: keys beginning with "__duvidu" are dropped with their values, dates become
// ISO-8601 text with milliseconds, strings, numbers and booleans stay, nested dictionaries and arrays are sanitized,
// and anything else (null included) becomes its description.
Value::Object duvidu_sanitize(const Value::Object& dictionary);
// The same value rule for every element; arrays drop nothing.
Value::Array duvidu_sanitize(const Value::Array& array);

}  // namespace duvidu
