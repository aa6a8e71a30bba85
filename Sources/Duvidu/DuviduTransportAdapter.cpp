#include "Duvidu/DuviduTransportAdapter.h"

#include "Duvidu/DuviduLog.h"

namespace duvidu {

DuviduTransportAdapter::DuviduTransportAdapter(std::shared_ptr<DuviduTransport> transport,
                                               std::shared_ptr<const DuviduOptions> options)
    : transport_(std::move(transport)), options_(std::move(options))
{
}

std::vector<DuviduEnvelopeItem> DuviduTransportAdapter::eventItems(DuviduEvent& event,
                                                                   const std::vector<DuviduAttachment>& attachments)
{
    std::vector<DuviduEnvelopeItem> items{DuviduEnvelopeItem(event)};
    for (const auto& attachment : attachments) {
        if (auto item = DuviduEnvelopeItem::initWithAttachment(attachment, options_->maxAttachmentSize))
            items.push_back(std::move(*item));
        else
            DUVIDU_LOG_DEBUG("Dropping the attachment " + attachment.filename() +
                             ": it cannot be read or is larger than maxAttachmentSize.");
    }
    return items;
}

void DuviduTransportAdapter::sendEvent(DuviduEvent& event, std::shared_ptr<const DuviduTraceContext> traceContext,
                                       const std::vector<DuviduAttachment>& attachments,
                                       std::vector<DuviduEnvelopeItem> additionalEnvelopeItems)
{
    auto items = eventItems(event, attachments);
    for (auto& item : additionalEnvelopeItems) items.push_back(std::move(item));
    sendEnvelope(DuviduEnvelope(DuviduEnvelopeHeader(event.eventId, std::move(traceContext)), std::move(items)));
}

void DuviduTransportAdapter::sendEvent(DuviduEvent& event, const DuviduSession& session,
                                       const std::vector<DuviduAttachment>& attachments)
{
    auto items = eventItems(event, attachments);
    items.emplace_back(session);
    sendEnvelope(DuviduEnvelope(DuviduEnvelopeHeader(event.eventId, nullptr), std::move(items)));
}

void DuviduTransportAdapter::sendUserFeedback(const DuviduUserFeedback& userFeedback)
{
    sendEnvelope(DuviduEnvelope(DuviduEnvelopeHeader(userFeedback.eventId(), nullptr), DuviduEnvelopeItem(userFeedback)));
}

void DuviduTransportAdapter::sendEnvelope(const DuviduEnvelope& envelope)
{
    transport_->sendEnvelope(envelope);
}

void DuviduTransportAdapter::recordLostEvent(DuviduDataCategory category, DuviduDiscardReason reason)
{
    transport_->recordLostEvent(category, reason);
}

bool DuviduTransportAdapter::flush(double timeoutSeconds)
{
    return transport_->flush(timeoutSeconds);
}

}  // namespace duvidu
