#include "engine/ErrorCapture.h"

#include "Duvidu/DuviduSDK.h"
#include "Duvidu/NSError.h"

void captureAppError(const std::string& type, std::int64_t caseIndex, const std::string& text) {
    duvidu::DuviduSDK::captureError(duvidu::NSError::bridged("vellumcaster." + type, caseIndex, text));
}

void captureSystemError(const std::error_code& code, const std::string& description) {
    duvidu::DuviduSDK::captureError(duvidu::NSError(
        "NSPOSIXErrorDomain", code.value(), duvidu::Value::Object{{duvidu::NSLocalizedDescriptionKey, description}}));
}
