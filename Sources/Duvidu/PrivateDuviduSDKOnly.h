#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduAppStartMeasurement.h"
#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduData.h"
#include "Duvidu/DuviduDebugMeta.h"
#include "Duvidu/DuviduEnvelope.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduUser.h"
#include "Duvidu/Value.h"

namespace duvidu {

// Entry points for SDKs layered on this one; each forwards to the SDK's own classes. Class-level only.
class PrivateDuviduSDKOnly {
public:
    using AppStartMeasurementAvailable = std::function<void(const DuviduAppStartMeasurement&)>;

    PrivateDuviduSDKOnly() = delete;

    static void storeEnvelope(const DuviduEnvelope& envelope);
    static void captureEnvelope(const DuviduEnvelope& envelope);
    static std::shared_ptr<DuviduEnvelope> envelopeWithData(const DuviduData& data);
    // Of every loaded image, as for a crash.
    static std::vector<DuviduDebugMeta> getDebugImages();
    static std::vector<DuviduDebugMeta> getDebugImagesCrashed(bool isCrash);
    static std::optional<DuviduAppStartMeasurement> appStartMeasurement();
    static std::optional<std::string> installationID();
    // The running client's options; new default options while there is none.
    static std::shared_ptr<const DuviduOptions> options();

    // Called with each app-start measurement the SDK stores; none by default.
    static AppStartMeasurementAvailable onAppStartMeasurementAvailable();
    static void setOnAppStartMeasurementAvailable(AppStartMeasurementAvailable block);
    static bool appStartMeasurementHybridSDKMode();
    static void setAppStartMeasurementHybridSDKMode(bool hybridSDKMode);

    static void setSdkName(const std::string& sdkName, const std::string& versionString);
    static void setSdkName(const std::string& sdkName);
    static std::string getSdkName();
    static std::string getSdkVersionString();
    static Value::Object getExtraContext();
    static DuviduUser userWithDictionary(const Value::Object& dictionary);
    static DuviduBreadcrumb breadcrumbWithDictionary(const Value::Object& dictionary);
};

}  // namespace duvidu
