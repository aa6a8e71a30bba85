#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Duvidu/DuviduStacktrace.h"
#include "Duvidu/Value.h"

namespace duvidu {

// One thread of the process as an event reports it.
class DuviduThread {
public:
    // ObjC: -[DuviduThread initWithThreadId:]
    explicit DuviduThread(std::optional<int64_t> threadId);

    std::optional<int64_t> threadId;
    std::optional<std::string> name;
    std::optional<DuviduStacktrace> stacktrace;
    std::optional<bool> crashed;
    std::optional<bool> current;
    std::optional<bool> isMain;

    // "id" (the thread id, 99 without one), then "crashed", "current", "name", "stacktrace", "main" when present.
    Value::Object serialize() const;

    bool operator==(const DuviduThread& other) const = default;
};

}  // namespace duvidu
