#pragma once

#include <optional>
#include <string>

#include "Duvidu/DuviduDsn.h"
#include "Duvidu/DuviduEnvelope.h"
#include "Duvidu/DuviduHttpRequest.h"
#include "Duvidu/NSError.h"

namespace duvidu {

// Turns an envelope into the request that delivers it: the DSN's envelope endpoint, the envelope's bytes gzipped at
// zlib's default level, "Content-Encoding: gzip" and the "X-Duvidu-Auth" field with the DSN's public key.
class DuviduNSURLRequestBuilder {
public:
    DuviduNSURLRequestBuilder() = delete;

    static std::optional<DuviduHttpRequest> createEnvelopeRequest(const DuviduEnvelope& envelope,
                                                                  const DuviduDsn& dsn, NSError* error = nullptr);
    // "Duvidu key=<public key>, client=<SDK name>/<SDK version>"
    static std::string authHeader(const DuviduDsn& dsn);
};

}  // namespace duvidu
