#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// User-info keys with the platform's meaning.
inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* NSUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* NSDebugDescriptionKey = "NSDebugDescription";

// An error value: a domain, a code and a free-form user-info dictionary. The SDK reports its own failures with it and
// the application hands its errors to the SDK as one. Errors bridged from the application's own error types also
// carry the error's own text, which the platform would get from the native error value.
class NSError {
public:
    NSError(std::string domain, int64_t code, Value::Object userInfo = {});

    // An application error converted for reporting: domain "<module>.<Type>", code = case index, and the error's
    // own text.
    static NSError bridged(std::string domain, int64_t code, std::string nativeDescription);

    const std::string& domain() const { return domain_; }
    int64_t code() const { return code_; }
    const Value::Object& userInfo() const { return userInfo_; }
    // The text of a bridged error; nullopt for every other error.
    const std::optional<std::string>& nativeDescription() const { return nativeDescription_; }
    // The dynamic class the platform would report: "__SwiftNativeNSError" for a bridged error, else "NSError".
    std::string className() const;

    // The user-info description when there is one, else the bridged error's text, else the platform's generic text
    // "The operation couldn’t be completed. (<domain> error <code>.)".
    std::string localizedDescription() const;
    // "Error Domain=<domain> Code=<code> \"<localized description>\"", followed by " UserInfo={...}" when the user
    // info is not empty.
    std::string description() const;

    bool operator==(const NSError& other) const = default;

private:
    std::string domain_;
    int64_t code_;
    Value::Object userInfo_;
    std::optional<std::string> nativeDescription_;
};

}  // namespace duvidu
