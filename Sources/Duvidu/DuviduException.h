#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Duvidu/DuviduMechanism.h"
#include "Duvidu/DuviduStacktrace.h"
#include "Duvidu/Value.h"

namespace duvidu {

// What went wrong: the error's text and kind, how it was caught and where.
class DuviduException {
public:
    // ObjC: -[DuviduException initWithValue:type:]
    DuviduException(std::string value, std::string type);

    std::string value;
    std::string type;
    std::optional<DuviduMechanism> mechanism;
    std::optional<std::string> module;
    std::optional<int64_t> threadId;
    std::optional<DuviduStacktrace> stacktrace;

    // "value", "type", "mechanism", "module", "thread_id", "stacktrace"; the last four only when present.
    Value::Object serialize() const;

    bool operator==(const DuviduException& other) const = default;
};

}  // namespace duvidu
