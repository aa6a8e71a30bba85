#pragma once

#include <cstdint>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// The domain and code of the error a crash or an event came from, as a mechanism's meta records them.
class DuviduNSError {
public:
    // ObjC: -[DuviduNSError initWithDomain:code:]
    DuviduNSError(std::string domain, int64_t code);

    std::string domain;
    int64_t code;

    // {"domain", "code"}, both always.
    Value::Object serialize() const;

    bool operator==(const DuviduNSError& other) const = default;
};

}  // namespace duvidu
