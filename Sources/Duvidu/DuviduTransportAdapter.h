#pragma once

#include <memory>
#include <vector>

#include "Duvidu/DuviduAttachment.h"
#include "Duvidu/DuviduEnvelopeItem.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduSession.h"
#include "Duvidu/DuviduTraceContext.h"
#include "Duvidu/DuviduTransport.h"
#include "Duvidu/DuviduUserFeedback.h"

namespace duvidu {

// Wraps what the client reports into envelopes and hands them to the transport.
class DuviduTransportAdapter {
public:
    // ObjC: -[DuviduTransportAdapter initWithTransport:options:]
    DuviduTransportAdapter(std::shared_ptr<DuviduTransport> transport, std::shared_ptr<const DuviduOptions> options);

    // ObjC: -[DuviduTransportAdapter sendEvent:traceContext:attachments:additionalEnvelopeItems:] — one envelope
    // under the event's id and the trace context: the event item, an item per attachment that fits
    // options.maxAttachmentSize (the others are left out), then the extra items. When the attachments together would
    // make the envelope larger than the cache takes, the largest go until it fits, each counted as a lost attachment
    // ("cache_overflow"): the event itself still goes.
    void sendEvent(DuviduEvent& event, std::shared_ptr<const DuviduTraceContext> traceContext,
                   const std::vector<DuviduAttachment>& attachments,
                   std::vector<DuviduEnvelopeItem> additionalEnvelopeItems = {});
    // ObjC: -[DuviduTransportAdapter sendEvent:session:attachments:] — the event item, the attachment items, then
    // the session's item, under the event's id with no trace context; attachments beyond the cache's limit as above.
    void sendEvent(DuviduEvent& event, const DuviduSession& session, const std::vector<DuviduAttachment>& attachments);
    // One "user_report" item under the feedback's event id.
    void sendUserFeedback(const DuviduUserFeedback& userFeedback);

    void sendEnvelope(const DuviduEnvelope& envelope);
    void recordLostEvent(DuviduDataCategory category, DuviduDiscardReason reason);
    bool flush(double timeoutSeconds);
    void close(double timeoutSeconds);

private:
    std::vector<DuviduEnvelopeItem> eventItems(DuviduEvent& event, const std::vector<DuviduAttachment>& attachments);
    // Leaves out attachment items, the largest first, until the items fit into one envelope that the cache takes.
    void leaveOutAttachmentsBeyondEnvelopeLimit(std::vector<DuviduEnvelopeItem>& items);

    std::shared_ptr<DuviduTransport> transport_;
    std::shared_ptr<const DuviduOptions> options_;
};

}  // namespace duvidu
