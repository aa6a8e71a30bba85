#include "Duvidu/DuviduTransportAdapter.h"

#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSerialization.h"

namespace duvidu {

namespace {

// What the items of an event's envelope may take together: the cache's limit less room for the envelope's header and
// the lost-event counts that the transport adds as a "client_report" item (a few kilobytes at most).
constexpr size_t kEnvelopeItemsLimit = kDuviduEnvelopeFileLimit - 64 * 1024;

// The bytes an item takes in a stored envelope: its header's JSON, its payload and the two line ends.
size_t storedSize(const DuviduEnvelopeItem& item)
{
    auto header = DuviduSerialization::dataWithJSONObject(item.header()->serialize());
    return (header ? header->size() : 0) + item.data().size() + 2;
}

}  // namespace

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

void DuviduTransportAdapter::leaveOutAttachmentsBeyondEnvelopeLimit(std::vector<DuviduEnvelopeItem>& items)
{
    std::vector<size_t> sizes;
    size_t total = 0;
    for (const auto& item : items) total += sizes.emplace_back(storedSize(item));
    while (total > kEnvelopeItemsLimit) {
        size_t largest = items.size();
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].header()->type() == "attachment" && (largest == items.size() || sizes[i] > sizes[largest]))
                largest = i;
        }
        if (largest == items.size()) return;  // the event alone is too large; the cache refuses and counts it
        DUVIDU_LOG_WARNING("Leaving out the attachment " + items[largest].header()->filename().value_or("") + " of " +
                           std::to_string(items[largest].data().size()) + " bytes: the event's envelope would be " +
                           "larger than the cache takes (" + std::to_string(kDuviduEnvelopeFileLimit) + " bytes).");
        total -= sizes[largest];
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(largest));
        sizes.erase(sizes.begin() + static_cast<std::ptrdiff_t>(largest));
        recordLostEvent(DuviduDataCategory::Attachment, DuviduDiscardReason::CacheOverflow);
    }
}

void DuviduTransportAdapter::sendEvent(DuviduEvent& event, std::shared_ptr<const DuviduTraceContext> traceContext,
                                       const std::vector<DuviduAttachment>& attachments,
                                       std::vector<DuviduEnvelopeItem> additionalEnvelopeItems)
{
    auto items = eventItems(event, attachments);
    for (auto& item : additionalEnvelopeItems) items.push_back(std::move(item));
    leaveOutAttachmentsBeyondEnvelopeLimit(items);
    sendEnvelope(DuviduEnvelope(DuviduEnvelopeHeader(event.eventId, std::move(traceContext)), std::move(items)));
}

void DuviduTransportAdapter::sendEvent(DuviduEvent& event, const DuviduSession& session,
                                       const std::vector<DuviduAttachment>& attachments)
{
    auto items = eventItems(event, attachments);
    items.emplace_back(session);
    leaveOutAttachmentsBeyondEnvelopeLimit(items);
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

void DuviduTransportAdapter::close(double timeoutSeconds)
{
    transport_->close(timeoutSeconds);
}

}  // namespace duvidu
