#include "Duvidu/DuviduError.h"

#include "Duvidu/DuviduMachLogging.h"

namespace duvidu {

NSError errorWithCodeAndUserInfo(DuviduError code, Value::Object userInfo)
{
    return NSError(DuviduErrorDomain, static_cast<int64_t>(code), std::move(userInfo));
}

NSError errorWithCode(DuviduError code, std::string description)
{
    return errorWithCodeAndUserInfo(code, {{NSLocalizedDescriptionKey, std::move(description)}});
}

NSError errorWithCodeAndUnderlyingError(DuviduError code, std::string description, const NSError& underlyingError)
{
    // The user info holds values, not error objects: the underlying error is kept as its description.
    return errorWithCodeAndUserInfo(code, {{NSLocalizedDescriptionKey, std::move(description)},
                                           {NSUnderlyingErrorKey, Value::Opaque{underlyingError.description(), {}}}});
}

NSError errorWithCodeAndException(DuviduError code, std::string description, const NSException& exception)
{
    return errorWithCode(code, description + " (" + exception.reason() + ")");
}

NSError errorWithCodeAndKernReturn(DuviduError code, std::string description, int kernReturn)
{
    return errorWithCode(code, description + " (" + kernReturnDescription(kernReturn) + ")");
}

}  // namespace duvidu
