#include "Duvidu/DuviduEnvelopeItem.h"

#include "Duvidu/DuviduClientReport.h"
#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduSerialization.h"
#include "Duvidu/DuviduSession.h"
#include "Duvidu/DuviduUserFeedback.h"

namespace duvidu {

namespace {

std::shared_ptr<const DuviduEnvelopeItemHeader> headerFor(std::string type, const DuviduData& data)
{
    return std::make_shared<DuviduEnvelopeItemHeader>(std::move(type), data.size());
}

}  // namespace

DuviduEnvelopeItem::DuviduEnvelopeItem(std::shared_ptr<const DuviduEnvelopeItemHeader> header, DuviduData data)
    : header_(std::move(header)), data_(std::move(data))
{
}

DuviduEnvelopeItem::DuviduEnvelopeItem(DuviduEvent& event)
{
    auto json = DuviduSerialization::dataWithJSONObject(event.serialize());
    std::string type = event.type.value_or("event");
    if (!json) {
        // Only simple fields go into the replacement, so that it is sure to be written. It keeps the event's id:
        // that id is in the envelope header and was handed to whoever captured the event.
        DuviduEvent replacement(DuviduLevel::Warning);
        replacement.eventId = event.eventId;
        replacement.message = DuviduMessage("JSON conversion error for event with message: '" +
                                            (event.message ? event.message->formatted() : std::string("(null)")) +
                                            "'");
        json = DuviduSerialization::dataWithJSONObject(replacement.serialize());
        type = "event";
    }
    data_ = json.value_or(DuviduData{});
    header_ = headerFor(std::move(type), data_);
}

DuviduEnvelopeItem::DuviduEnvelopeItem(const DuviduSession& session)
    : data_(DuviduSerialization::dataWithSession(session).value_or(DuviduData{}))
{
    header_ = headerFor("session", data_);
}

DuviduEnvelopeItem::DuviduEnvelopeItem(const DuviduUserFeedback& userFeedback)
    : data_(DuviduSerialization::dataWithJSONObject(userFeedback.serialize()).value_or(DuviduData{}))
{
    header_ = headerFor("user_report", data_);
}

std::optional<DuviduEnvelopeItem> DuviduEnvelopeItem::initWithAttachment(const DuviduAttachment& attachment,
                                                                         uint64_t maxAttachmentSize)
{
    DuviduData data;
    if (attachment.data()) {
        if (attachment.data()->size() > maxAttachmentSize) return std::nullopt;
        data = *attachment.data();
    } else if (attachment.path()) {
        if (duvidu_readFileChecked(*attachment.path(), maxAttachmentSize, data) != DuviduFileReadOutcome::Read)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    auto header = std::make_shared<DuviduEnvelopeAttachmentHeader>(
        "attachment", data.size(), attachment.filename(), attachment.contentType(), attachment.attachmentType());
    return DuviduEnvelopeItem(std::move(header), std::move(data));
}

DuviduEnvelopeItem::DuviduEnvelopeItem(const DuviduClientReport& clientReport)
    : data_(DuviduSerialization::dataWithJSONObject(clientReport.serialize()).value_or(DuviduData{}))
{
    header_ = headerFor("client_report", data_);
}

}  // namespace duvidu
