#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduOptions.h"

// The DSN's on-disk cache, as the commands that deliver from it open it.
class CacheDelivery {
public:
    // How long the commands wait for the service.
    static constexpr double kWaitSeconds = 5;

    // The DSN given, else DUVIDU_DSN when set and not empty. Prints why and gives nullopt when the DSN is missing or
    // invalid, or the cache cannot be opened.
    static std::optional<CacheDelivery> open(std::optional<std::string> dsn);

    const std::shared_ptr<duvidu::DuviduFileManager>& fileManager() const { return fileManager_; }
    // Sends what the cache holds, waiting at most kWaitSeconds: 0 when the cache is empty afterwards, 1 when
    // something is kept for later.
    int sendAll() const;

private:
    std::shared_ptr<duvidu::DuviduOptions> options_;
    std::shared_ptr<duvidu::DuviduFileManager> fileManager_;
};
