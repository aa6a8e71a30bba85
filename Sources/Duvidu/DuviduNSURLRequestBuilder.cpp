#include "Duvidu/DuviduNSURLRequestBuilder.h"

#include "Duvidu/DuviduCompression.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduMeta.h"
#include "Duvidu/DuviduSerialization.h"

namespace duvidu {

std::string DuviduNSURLRequestBuilder::authHeader(const DuviduDsn& dsn)
{
    return "Duvidu key=" + dsn.publicKey() + ", client=" + DuviduMeta::sdkName() + "/" + DuviduMeta::versionString();
}

std::optional<DuviduHttpRequest> DuviduNSURLRequestBuilder::createEnvelopeRequest(const DuviduEnvelope& envelope,
                                                                                  const DuviduDsn& dsn,
                                                                                  NSError* error)
{
    auto data = DuviduSerialization::dataWithEnvelope(envelope);
    if (!data) {
        DUVIDU_LOG_ERROR("Envelope cannot be converted to data.");
        return std::nullopt;
    }
    auto body = duvidu_gzippedWithCompressionLevel(*data, -1, error);
    if (!body) {
        DUVIDU_LOG_ERROR("Envelope cannot be compressed.");
        return std::nullopt;
    }
    DuviduHttpRequest request;
    request.url = dsn.getEnvelopeEndpoint();
    request.headers = {
        {"Content-Type", "application/x-duvidu-envelope"},
        {"Content-Encoding", "gzip"},
        {"X-Duvidu-Auth", authHeader(dsn)},
    };
    request.body = std::move(*body);
    return request;
}

}  // namespace duvidu
