// duvidu-cli [--dsn DSN] envelope FILE: stores the envelope file in the DSN's cache and sends the cache.

#include <cstdio>

#include "CacheDelivery.h"
#include "Commands.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduSerialization.h"

using namespace duvidu;

int envelopeCommand(const DuviduCliOptions& options)
{
    if (options.arguments.size() != 1) {
        std::fprintf(stderr, "usage: duvidu-cli [--dsn DSN] envelope FILE\n");
        return 2;
    }
    const std::string& file = options.arguments[0];
    auto bytes = duvidu_readTextFile(file.c_str());
    if (!bytes) {
        std::fprintf(stderr, "duvidu-cli: cannot read %s\n", file.c_str());
        return 2;
    }
    auto envelope = DuviduSerialization::envelopeWithData(dataFromString(*bytes));
    if (!envelope) {
        std::fprintf(stderr, "duvidu-cli: %s holds no envelope\n", file.c_str());
        return 2;
    }
    auto delivery = CacheDelivery::open(options);
    if (!delivery) return 2;
    const auto path = delivery->fileManager()->storeEnvelope(*envelope);
    if (path.empty()) {
        std::fprintf(stderr, "duvidu-cli: the envelope could not be stored\n");
        return 2;
    }
    std::printf("Stored %s\n", path.c_str());
    return delivery->sendAll();
}
