#pragma once

#include <memory>
#include <optional>

#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduSdkInfo.h"
#include "Duvidu/DuviduTraceContext.h"
#include "Duvidu/Value.h"

namespace duvidu {

// The first line of an envelope: which event it carries, which SDK sent it, its trace, and when it was sent.
class DuviduEnvelopeHeader {
public:
    // ObjC: -[DuviduEnvelopeHeader initWithId:traceContext:] — the SDK info is this SDK's own name and version.
    DuviduEnvelopeHeader(std::optional<DuviduId> eventId, std::shared_ptr<const DuviduTraceContext> traceContext);
    // ObjC: -[DuviduEnvelopeHeader initWithId:sdkInfo:traceContext:]
    DuviduEnvelopeHeader(std::optional<DuviduId> eventId, std::optional<DuviduSdkInfo> sdkInfo,
                         std::shared_ptr<const DuviduTraceContext> traceContext);

    const std::optional<DuviduId>& eventId() const { return eventId_; }
    const std::optional<DuviduSdkInfo>& sdkInfo() const { return sdkInfo_; }
    const std::shared_ptr<const DuviduTraceContext>& traceContext() const { return traceContext_; }
    // Set by the transport just before sending.
    const std::optional<DuviduDate>& sentAt() const { return sentAt_; }
    void setSentAt(std::optional<DuviduDate> sentAt) { sentAt_ = sentAt; }

private:
    std::optional<DuviduId> eventId_;
    std::optional<DuviduSdkInfo> sdkInfo_;
    std::shared_ptr<const DuviduTraceContext> traceContext_;
    std::optional<DuviduDate> sentAt_;
};

}  // namespace duvidu
