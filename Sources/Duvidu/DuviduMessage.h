#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// A captured text: the formatted text, and optionally the format and the parameters it was made from.
class DuviduMessage {
public:
    // The longest text kept, in UTF-16 code units; a longer one is cut when it is stored.
    static constexpr size_t maxLength = 8192;

    // ObjC: -[DuviduMessage initWithFormatted:]
    explicit DuviduMessage(std::string formatted);

    const std::string& formatted() const { return formatted_; }
    // The format before its parameters were filled in.
    const std::optional<std::string>& message() const { return message_; }
    void setMessage(std::optional<std::string> message);
    const std::optional<Value::Array>& params() const { return params_; }
    void setParams(std::optional<Value::Array> params) { params_ = std::move(params); }

    // "formatted", "message", "params" (unchanged).
    Value::Object serialize() const;
    std::string description() const;

    // The text cut to at most maxLength UTF-16 code units, never inside a character: a cut surrogate pair would be
    // text that no JSON writer accepts.
    static std::string capped(std::string text);

private:
    std::string formatted_;
    std::optional<std::string> message_;
    std::optional<Value::Array> params_;
};

}  // namespace duvidu
