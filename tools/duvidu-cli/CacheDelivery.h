#pragma once

#include <memory>
#include <optional>

#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduOptions.h"
#include "DuviduCliOptions.h"

// The DSN's on-disk cache, as the commands that deliver from it open it. They wait at most 5 s for the service and
// exit 0 when the cache is empty afterwards, 1 when something is kept for later.
class CacheDelivery {
public:
    static constexpr double kWaitSeconds = 5;

    // Prints why and gives nullopt when there is no valid DSN or the cache cannot be opened.
    static std::optional<CacheDelivery> open(const DuviduCliOptions& options);

    const std::shared_ptr<duvidu::DuviduFileManager>& fileManager() const { return fileManager_; }
    // Sends what the cache holds and gives the exit status.
    int sendAll() const;

private:
    std::shared_ptr<duvidu::DuviduOptions> options_;
    std::shared_ptr<duvidu::DuviduFileManager> fileManager_;
};
