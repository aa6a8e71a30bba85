// duvidu-cli [--dsn DSN] flush: sends what the DSN's cache holds.

#include <cstdio>

#include "CacheDelivery.h"
#include "Commands.h"

int flushCommand(const DuviduCliOptions& options)
{
    if (!options.arguments.empty()) {
        std::fprintf(stderr, "usage: duvidu-cli [--dsn DSN] flush\n");
        return 2;
    }
    auto delivery = CacheDelivery::open(options);
    return delivery ? delivery->sendAll() : 2;
}
