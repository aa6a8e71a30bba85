// duvidu-cli [--dsn DSN] [--release R] crash segv|abort|terminate|overflow|trap: starts the SDK as an application does
// (a session starts), sets the tag "cli" = "crash", adds the breadcrumb "about to crash" and ends the process in that
// way. The next `duvidu-cli flush` sends the crash.

#include <cstdio>
#include <string>

#include "Commands.h"
#include "CrashFaults.h"
#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduSDK.h"

using namespace duvidu;

int crashCommand(const DuviduCliOptions& cliOptions)
{
    const std::string how = cliOptions.arguments.size() == 1 ? cliOptions.arguments[0] : "";
    if (how != "segv" && how != "abort" && how != "terminate" && how != "overflow" && how != "trap") {
        std::fprintf(stderr, "usage: duvidu-cli [--dsn DSN] [--release R] crash segv|abort|terminate|overflow|trap\n");
        return 2;
    }
    auto options = cliOptions.sdkOptions();
    if (!cliOptions.release) options->releaseName = std::string("duvidu-cli@") + VC_VERSION;
    DuviduSDK::startWithOptions(options);
    DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper()->postNotificationName(
        DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    DuviduSDK::configureScope([](DuviduScope& scope) { scope.setTagValue(std::string("crash"), "cli"); });
    DuviduBreadcrumb breadcrumb;
    breadcrumb.message = "about to crash";
    DuviduSDK::addBreadcrumb(breadcrumb);
    duviduCliFault(how);
    return 1;  // not reached
}
