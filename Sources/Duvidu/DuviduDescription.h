#pragma once

#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// "<ClassName: 0x…, {…}>": how the SDK's records describe themselves in log lines, with the object's address and
// its serialized dictionary.
std::string duvidu_objectDescription(const char* className, const void* address, const Value::Object& serialized);

}  // namespace duvidu
