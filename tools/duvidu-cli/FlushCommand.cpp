// duvidu-cli [--dsn DSN] flush: turns the crash reports of earlier runs into events in the DSN's cache (the SDK does
// that when it starts), then sends what the cache holds.

#include <cstdio>

#include "CacheDelivery.h"
#include "Commands.h"
#include "Duvidu/DuviduSDK.h"

int flushCommand(const DuviduCliOptions& options)
{
    if (!options.arguments.empty()) {
        std::fprintf(stderr, "usage: duvidu-cli [--dsn DSN] flush\n");
        return 2;
    }
    auto delivery = CacheDelivery::open(options);
    if (delivery) {
        duvidu::DuviduSDK::startWithOptions(options.sdkOptions());
        duvidu::DuviduSDK::close();
    }
    return delivery ? delivery->sendAll() : 2;
}
