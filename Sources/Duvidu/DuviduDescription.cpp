#include "Duvidu/DuviduDescription.h"

#include <cstdio>

namespace duvidu {

std::string duvidu_objectDescription(const char* className, const void* address, const Value::Object& serialized)
{
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%p", address);
    return std::string("<") + className + ": " + pointer + ", " + Value(serialized).description() + ">";
}

}  // namespace duvidu
