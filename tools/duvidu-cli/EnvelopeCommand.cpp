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
    // Whatever the cache itself takes: up to the envelope limit, a regular file (not a pipe or a device).
    DuviduData bytes;
    std::string problem;
    if (duvidu_readFileChecked(file, kDuviduEnvelopeFileLimit, bytes, &problem) != DuviduFileReadOutcome::Read) {
        std::fprintf(stderr, "duvidu-cli: cannot read %s: %s\n", file.c_str(), problem.c_str());
        return 2;
    }
    auto envelope = DuviduSerialization::envelopeWithData(bytes);
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
