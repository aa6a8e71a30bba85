#include "Duvidu/DuviduEnvelopeHeader.h"

#include "Duvidu/DuviduMeta.h"

namespace duvidu {

DuviduEnvelopeHeader::DuviduEnvelopeHeader(std::optional<DuviduId> eventId,
                                           std::shared_ptr<const DuviduTraceContext> traceContext)
    : DuviduEnvelopeHeader(eventId, DuviduSdkInfo(DuviduMeta::sdkName(), DuviduMeta::versionString()),
                           std::move(traceContext))
{
}

DuviduEnvelopeHeader::DuviduEnvelopeHeader(std::optional<DuviduId> eventId, std::optional<DuviduSdkInfo> sdkInfo,
                                           std::shared_ptr<const DuviduTraceContext> traceContext)
    : eventId_(eventId), sdkInfo_(std::move(sdkInfo)), traceContext_(std::move(traceContext))
{
}

}  // namespace duvidu
