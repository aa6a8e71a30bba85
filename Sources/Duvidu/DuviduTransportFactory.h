#pragma once

#include <memory>

#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduTransport.h"

namespace duvidu {

// Makes the transport that the client hands its envelopes to.
class DuviduTransportFactory {
public:
    DuviduTransportFactory() = delete;

    // ObjC: +[DuviduTransportFactory initTransport:duviduFileManager:] — the HTTP transport over the file manager's
    // cache, with its own serial queue "duvidu-http".
    static std::shared_ptr<DuviduTransport> initTransport(std::shared_ptr<const DuviduOptions> options,
                                                          std::shared_ptr<DuviduFileManager> fileManager);
};

}  // namespace duvidu
