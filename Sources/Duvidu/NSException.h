#pragma once

#include <exception>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// An exception value as the SDK records it: a name, a reason and free-form user info.
class NSException {
public:
    NSException(std::string name, std::string reason, Value::Object userInfo = {});
    // A C++ exception: its dynamic type name (demangled) as the name and what() as the reason.
    static NSException fromStdException(const std::exception& exception);

    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const Value::Object& userInfo() const { return userInfo_; }
    // The platform describes an exception by its reason.
    const std::string& description() const { return reason_; }

    bool operator==(const NSException& other) const = default;

private:
    std::string name_;
    std::string reason_;
    Value::Object userInfo_;
};

}  // namespace duvidu
