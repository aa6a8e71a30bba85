#include "CacheDelivery.h"

#include <cstdio>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduTransportFactory.h"

using namespace duvidu;

std::optional<CacheDelivery> CacheDelivery::open(const DuviduCliOptions& options)
{
    CacheDelivery delivery;
    delivery.options_ = options.sdkOptions();
    if (!delivery.options_->parsedDsn()) {
        std::fprintf(stderr, "duvidu-cli: no valid DSN: give --dsn DSN or set DUVIDU_DSN\n");
        return std::nullopt;
    }
    NSError error("", 0);
    delivery.fileManager_ = DuviduFileManager::initWithOptions(
        *delivery.options_, DuviduDefaultCurrentDateProvider::sharedInstance(),
        std::make_shared<DuviduDispatchQueueWrapper>(), &error);
    if (!delivery.fileManager_) {
        std::fprintf(stderr, "duvidu-cli: %s\n", error.localizedDescription().c_str());
        return std::nullopt;
    }
    return delivery;
}

int CacheDelivery::sendAll() const
{
    auto transport = DuviduTransportFactory::initTransport(options_, fileManager_);
    transport->flush(kWaitSeconds);
    const auto kept = fileManager_->envelopePaths().size();
    if (kept == 0) {
        std::printf("The cache is empty: everything was delivered.\n");
        return 0;
    }
    std::printf("%zu envelope(s) kept in %s for later.\n", kept, fileManager_->envelopesPath().c_str());
    return 1;
}
