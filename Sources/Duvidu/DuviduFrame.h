#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// One stack frame. Addresses are hexadecimal text made by the stack-trace builders.
class DuviduFrame {
public:
    // ObjC: -[DuviduFrame init] — function "<redacted>", every other field absent.
    DuviduFrame();

    std::optional<std::string> symbolAddress;
    std::optional<std::string> fileName;
    std::optional<std::string> function;
    std::optional<std::string> module;
    std::optional<std::string> package;
    std::optional<std::string> imageAddress;
    std::optional<std::string> platform;
    std::optional<std::string> instructionAddress;
    std::optional<int64_t> lineNumber;
    std::optional<int64_t> columnNumber;
    std::optional<bool> inApp;
    std::optional<bool> stackStart;

    // "symbol_addr", "filename", "function", "module", "lineno", "colno", "package", "image_addr",
    // "instruction_addr", "platform", "in_app", "stack_start"; each only when present.
    Value::Object serialize() const;

    bool operator==(const DuviduFrame& other) const = default;
};

}  // namespace duvidu
