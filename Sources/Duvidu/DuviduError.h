#pragma once

#include <cstdint>
#include <string>

#include "Duvidu/NSError.h"
#include "Duvidu/NSException.h"
#include "Duvidu/Value.h"

namespace duvidu {

inline constexpr const char* DuviduErrorDomain = "DuviduErrorDomain";

// The codes of the SDK's own errors.
enum class DuviduError : int64_t {
    InvalidDsn = 100,
    CompressionError = 103,
    FileIO = 108,
    KernelError = 109,
};

NSError errorWithCodeAndUserInfo(DuviduError code, Value::Object userInfo);
// The description becomes the localized description.
NSError errorWithCode(DuviduError code, std::string description);
NSError errorWithCodeAndUnderlyingError(DuviduError code, std::string description, const NSError& underlyingError);
// "<description> (<reason>)"
NSError errorWithCodeAndException(DuviduError code, std::string description, const NSException& exception);
// "<description> (<kernel return text>)"
NSError errorWithCodeAndKernReturn(DuviduError code, std::string description, int kernReturn);

}  // namespace duvidu
