#pragma once

#include <atomic>
#include <optional>

#include "Duvidu/DuviduHttpRequest.h"
#include "Duvidu/DuviduHttpResponse.h"

namespace duvidu {

// Performs HTTP requests with libcurl, one at a time on the calling thread, keeping connections for the next one.
// A connection is given up when it cannot be made within 15 s or when no byte moves for 30 s.
class DuviduRequestManager {
public:
    DuviduRequestManager();
    ~DuviduRequestManager();
    DuviduRequestManager(const DuviduRequestManager&) = delete;
    DuviduRequestManager& operator=(const DuviduRequestManager&) = delete;

    // POSTs the request and waits for the answer; nullopt when none came (no connection, the connection broke or
    // timed out, or the manager was cancelled).
    std::optional<DuviduHttpResponse> send(const DuviduHttpRequest& request);
    // Ends the request under way at once, and refuses every later one. Safe from any thread.
    void cancel();

private:
    void* multi_;  // CURLM
    std::atomic<bool> cancelled_{false};
};

}  // namespace duvidu
