#include "ReportingRun.h"

#include <cstdio>

#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduSDK.h"

using namespace duvidu;

int reportingRun(const DuviduCliOptions& cliOptions, const std::function<DuviduId()>& capture)
{
    auto options = cliOptions.sdkOptions();
    if (!cliOptions.release) options->releaseName = std::string("duvidu-cli@") + VC_VERSION;
    DuviduSDK::startWithOptions(options);

    auto notifications = DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper();
    notifications->postNotificationName(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    const DuviduId id = capture();
    notifications->postNotificationName(DuviduNSNotificationCenterWrapper::willTerminateNotificationName());
    DuviduSDK::close();

    std::printf("%s\n", id.duviduIdString().c_str());
    if (id.isEmpty()) {
        std::fprintf(stderr, "duvidu-cli: nothing was sent (no DSN given, or the event was dropped)\n");
        return 1;
    }
    return 0;
}
