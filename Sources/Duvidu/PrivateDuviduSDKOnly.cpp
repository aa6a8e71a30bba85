#include "Duvidu/PrivateDuviduSDKOnly.h"

#include <atomic>
#include <mutex>

#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduExtraContextProvider.h"
#include "Duvidu/DuviduInstallation.h"
#include "Duvidu/DuviduMeta.h"
#include "Duvidu/DuviduSDK.h"
#include "Duvidu/DuviduSerialization.h"

namespace duvidu {

namespace {

std::mutex& blockLock()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

PrivateDuviduSDKOnly::AppStartMeasurementAvailable& availableBlock()
{
    static auto* block = new PrivateDuviduSDKOnly::AppStartMeasurementAvailable;
    return *block;
}

std::atomic<bool> hybridSDKMode{false};

}  // namespace

void PrivateDuviduSDKOnly::storeEnvelope(const DuviduEnvelope& envelope)
{
    DuviduSDK::storeEnvelope(envelope);
}

void PrivateDuviduSDKOnly::captureEnvelope(const DuviduEnvelope& envelope)
{
    DuviduSDK::captureEnvelope(envelope);
}

std::shared_ptr<DuviduEnvelope> PrivateDuviduSDKOnly::envelopeWithData(const DuviduData& data)
{
    return DuviduSerialization::envelopeWithData(data);
}

std::vector<DuviduDebugMeta> PrivateDuviduSDKOnly::getDebugImages()
{
    return getDebugImagesCrashed(true);
}

std::vector<DuviduDebugMeta> PrivateDuviduSDKOnly::getDebugImagesCrashed(bool isCrash)
{
    return DuviduDependencyContainer::sharedInstance()->debugImageProvider()->getDebugImagesCrashed(isCrash);
}

std::optional<DuviduAppStartMeasurement> PrivateDuviduSDKOnly::appStartMeasurement()
{
    return DuviduSDK::getAppStartMeasurement();
}

std::optional<std::string> PrivateDuviduSDKOnly::installationID()
{
    return DuviduInstallation::id();
}

std::shared_ptr<const DuviduOptions> PrivateDuviduSDKOnly::options()
{
    auto options = DuviduSDK::options();
    return options ? options : std::make_shared<DuviduOptions>();
}

PrivateDuviduSDKOnly::AppStartMeasurementAvailable PrivateDuviduSDKOnly::onAppStartMeasurementAvailable()
{
    std::lock_guard lock(blockLock());
    return availableBlock();
}

void PrivateDuviduSDKOnly::setOnAppStartMeasurementAvailable(AppStartMeasurementAvailable block)
{
    std::lock_guard lock(blockLock());
    availableBlock() = std::move(block);
}

bool PrivateDuviduSDKOnly::appStartMeasurementHybridSDKMode()
{
    return hybridSDKMode.load();
}

void PrivateDuviduSDKOnly::setAppStartMeasurementHybridSDKMode(bool enabled)
{
    hybridSDKMode.store(enabled);
}

void PrivateDuviduSDKOnly::setSdkName(const std::string& sdkName, const std::string& versionString)
{
    DuviduMeta::setSdkName(sdkName);
    DuviduMeta::setVersionString(versionString);
}

void PrivateDuviduSDKOnly::setSdkName(const std::string& sdkName)
{
    DuviduMeta::setSdkName(sdkName);
}

std::string PrivateDuviduSDKOnly::getSdkName()
{
    return DuviduMeta::sdkName();
}

std::string PrivateDuviduSDKOnly::getSdkVersionString()
{
    return DuviduMeta::versionString();
}

Value::Object PrivateDuviduSDKOnly::getExtraContext()
{
    return DuviduExtraContextProvider::sharedInstance()->getExtraContext();
}

DuviduUser PrivateDuviduSDKOnly::userWithDictionary(const Value::Object& dictionary)
{
    return DuviduUser::initWithDictionary(dictionary);
}

DuviduBreadcrumb PrivateDuviduSDKOnly::breadcrumbWithDictionary(const Value::Object& dictionary)
{
    return DuviduBreadcrumb::initWithDictionary(dictionary);
}

}  // namespace duvidu
