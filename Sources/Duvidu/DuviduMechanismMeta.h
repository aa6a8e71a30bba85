#pragma once

#include <optional>

#include "Duvidu/DuviduNSError.h"
#include "Duvidu/Value.h"

namespace duvidu {

// Operating-system detail of how a crash happened.
class DuviduMechanismMeta {
public:
    std::optional<Value::Object> signal;
    std::optional<Value::Object> machException;
    std::optional<DuviduNSError> error;

    // "signal" and "mach_exception" (sanitized), "ns_error"; each only when present.
    Value::Object serialize() const;

    bool operator==(const DuviduMechanismMeta& other) const = default;
};

}  // namespace duvidu
