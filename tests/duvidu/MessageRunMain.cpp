// duvidu_message_run DSN SHUTDOWN_SECONDS TEXT: one run of a program that reports TEXT as a message event in a run
// with a session, closing within the shutdown time it gives, and prints the event's id. The tests that run many of
// these at once on one cache give them a shutdown time that a loaded machine (sanitizers, other tests) still meets.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduSDK.h"

using namespace duvidu;

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: duvidu_message_run DSN SHUTDOWN_SECONDS TEXT\n");
        return 2;
    }
    DuviduSDK::startWithConfigureOptions([&](DuviduOptions& options) {
        options.setDsn(argv[1]);
        options.shutdownTimeInterval = std::atof(argv[2]);
        options.debug = false;
        options.enableAppHangTracking = false;
        options.releaseName = "r@1";
    });
    auto notifications = DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper();
    notifications->postNotificationName(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    const DuviduId id = DuviduSDK::captureMessage(argv[3]);
    notifications->postNotificationName(DuviduNSNotificationCenterWrapper::willTerminateNotificationName());
    DuviduSDK::close();
    std::printf("%s\n", id.duviduIdString().c_str());
    return id.isEmpty() ? 1 : 0;
}
