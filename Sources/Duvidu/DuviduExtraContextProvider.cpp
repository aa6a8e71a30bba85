#include "Duvidu/DuviduExtraContextProvider.h"

#include "Duvidu/DuviduDependencyContainer.h"

namespace duvidu {

std::shared_ptr<DuviduExtraContextProvider> DuviduExtraContextProvider::sharedInstance()
{
    static auto instance = std::make_shared<DuviduExtraContextProvider>();
    return instance;
}

DuviduExtraContextProvider::DuviduExtraContextProvider()
    : DuviduExtraContextProvider(DuviduCrashWrapper::sharedInstance(),
                                 DuviduDependencyContainer::sharedInstance()->processInfoWrapper())
{
}

DuviduExtraContextProvider::DuviduExtraContextProvider(std::shared_ptr<DuviduCrashWrapper> crashWrapper,
                                                       std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper)
    : crashWrapper_(std::move(crashWrapper)), processInfoWrapper_(std::move(processInfoWrapper))
{
}

Value::Object DuviduExtraContextProvider::getExtraContext() const
{
    return {{"device", getExtraDeviceContext()}, {"app", getExtraAppContext()}};
}

Value::Object DuviduExtraContextProvider::getExtraDeviceContext() const
{
    return {
        {"free_memory", crashWrapper_->freeMemorySize()},
        {"free_storage", crashWrapper_->freeStorageSize()},
        {"processor_count", processInfoWrapper_->processorCount()},
    };
}

Value::Object DuviduExtraContextProvider::getExtraAppContext() const
{
    return {{"app_memory", crashWrapper_->appMemorySize()}};
}

}  // namespace duvidu
