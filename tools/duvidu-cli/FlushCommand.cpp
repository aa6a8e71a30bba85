// duvidu-cli [--dsn DSN] flush: sends what the DSN's cache holds.

#include <cstdio>

#include "CacheDelivery.h"
#include "CommandLine.h"

int flushCommand(const CommandLine& line)
{
    if (!line.arguments.empty()) {
        std::fprintf(stderr, "usage: duvidu-cli [--dsn DSN] flush\n");
        return 2;
    }
    auto delivery = CacheDelivery::open(line.dsn);
    return delivery ? delivery->sendAll() : 2;
}
