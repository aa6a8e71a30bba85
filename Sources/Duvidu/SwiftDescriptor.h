#pragma once

#include <optional>
#include <string>
#include <typeinfo>

#include "Duvidu/NSError.h"

namespace duvidu {

// Names of native types and texts of native errors, for reports.
class SwiftDescriptor {
public:
    SwiftDescriptor() = delete;

    // The dynamic type's readable name.
    template <typename T>
    static std::string getObjectClassName(const T& object)
    {
        return demangle(typeid(object).name());
    }
    // The text of an error bridged from the application's own error types; nullopt for other errors.
    static std::optional<std::string> getSwiftErrorDescription(const NSError& error);

    static std::string demangle(const char* mangledName);
};

}  // namespace duvidu
