#pragma once

#include <optional>
#include <string>

#include "Duvidu/DuviduMechanismMeta.h"
#include "Duvidu/Value.h"

namespace duvidu {

// How an exception was caught.
class DuviduMechanism {
public:
    // ObjC: -[DuviduMechanism initWithType:]
    explicit DuviduMechanism(std::string type);

    std::string type;
    std::optional<std::string> desc;
    std::optional<Value::Object> data;
    std::optional<bool> handled;
    // A number (or boolean), written as it is stored.
    std::optional<Value> synthetic;
    std::optional<std::string> helpLink;
    std::optional<DuviduMechanismMeta> meta;

    // "type" (always), "handled" (a boolean), "synthetic" (unchanged), "description", "data" (sanitized),
    // "help_link", "meta"; each other key only when present.
    Value::Object serialize() const;

    bool operator==(const DuviduMechanism& other) const = default;
};

}  // namespace duvidu
