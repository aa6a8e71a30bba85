#include "Duvidu/SwiftDescriptor.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace duvidu {

std::optional<std::string> SwiftDescriptor::getSwiftErrorDescription(const NSError& error)
{
    return error.nativeDescription();
}

std::string SwiftDescriptor::demangle(const char* mangledName)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangledName, nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? demangled.get() : mangledName;
}

}  // namespace duvidu
