#include "CacheDelivery.h"

#include <cstdio>
#include <cstdlib>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduTransportFactory.h"

using namespace duvidu;

std::optional<CacheDelivery> CacheDelivery::open(std::optional<std::string> dsn)
{
    if (const char* fromEnvironment = std::getenv("DUVIDU_DSN"); !dsn && fromEnvironment && *fromEnvironment)
        dsn = fromEnvironment;
    if (!dsn) {
        std::fprintf(stderr, "duvidu-cli: no DSN: give --dsn DSN or set DUVIDU_DSN\n");
        return std::nullopt;
    }
    CacheDelivery delivery;
    delivery.options_ = std::make_shared<DuviduOptions>();
    NSError error("", 0);
    auto parsed = DuviduDsn::initWithString(*dsn, &error);
    if (!parsed) {
        std::fprintf(stderr, "duvidu-cli: invalid DSN: %s\n", error.localizedDescription().c_str());
        return std::nullopt;
    }
    delivery.options_->setDsn(*dsn);
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
