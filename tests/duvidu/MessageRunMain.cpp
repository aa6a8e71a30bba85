// duvidu_message_run DSN SHUTDOWN_SECONDS TEXT [MESSAGES MAX_CACHE_ITEMS]: one run of a program that reports TEXT (or
// MESSAGES messages "TEXT <n>") as message events in a run with a session, with the cache limit given or the default
// one, closing within the shutdown time it gives, and prints each event's id on a line of its own. The tests that run
// many of these at once on one cache give them a shutdown time that a loaded machine (sanitizers, other tests) still
// meets.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduSDK.h"

using namespace duvidu;

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: duvidu_message_run DSN SHUTDOWN_SECONDS TEXT [MESSAGES MAX_CACHE_ITEMS]\n");
        return 2;
    }
    const int messages = argc == 6 ? std::atoi(argv[4]) : 1;
    DuviduSDK::startWithConfigureOptions([&](DuviduOptions& options) {
        options.setDsn(argv[1]);
        options.shutdownTimeInterval = std::atof(argv[2]);
        if (argc == 6) options.maxCacheItems = std::strtoull(argv[5], nullptr, 10);
        options.debug = false;
        options.enableAppHangTracking = false;
        options.releaseName = "r@1";
    });
    auto notifications = DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper();
    notifications->postNotificationName(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    std::string ids;
    bool captured = true;
    for (int i = 0; i < messages; ++i) {
        const std::string text = argc == 6 ? std::string(argv[3]) + " " + std::to_string(i) : argv[3];
        const DuviduId id = DuviduSDK::captureMessage(text);
        captured = captured && !id.isEmpty();
        ids += id.duviduIdString() + "\n";
    }
    notifications->postNotificationName(DuviduNSNotificationCenterWrapper::willTerminateNotificationName());
    DuviduSDK::close();
    std::fputs(ids.c_str(), stdout);
    return captured ? 0 : 1;
}
