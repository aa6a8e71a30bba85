#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Duvidu/DuviduAttachment.h"
#include "Duvidu/DuviduData.h"
#include "Duvidu/DuviduEnvelopeItemHeader.h"

namespace duvidu {

class DuviduClientReport;
class DuviduEvent;
class DuviduSession;
class DuviduUserFeedback;

// One item of an envelope: its header and its payload bytes.
class DuviduEnvelopeItem {
public:
    DuviduEnvelopeItem(std::shared_ptr<const DuviduEnvelopeItemHeader> header, DuviduData data);
    // ObjC: -[DuviduEnvelopeItem initWithEvent:] — the event's JSON under its type ("event" unless it has one).
    // When the event cannot be written as JSON, the item holds instead a warning event with the same id whose
    // message is "JSON conversion error for event with message: '<the event's formatted message>'".
    explicit DuviduEnvelopeItem(DuviduEvent& event);
    // ObjC: -[DuviduEnvelopeItem initWithSession:] — an item of type "session" holding the session's JSON.
    explicit DuviduEnvelopeItem(const DuviduSession& session);
    // ObjC: -[DuviduEnvelopeItem initWithUserFeedback:] — an item of type "user_report".
    explicit DuviduEnvelopeItem(const DuviduUserFeedback& userFeedback);
    // ObjC: -[DuviduEnvelopeItem initWithAttachment:maxAttachmentSize:] — an "attachment" item with the attachment's
    // bytes (a path attachment's file is read now); nullopt when they cannot be read or are longer than the limit.
    static std::optional<DuviduEnvelopeItem> initWithAttachment(const DuviduAttachment& attachment,
                                                                uint64_t maxAttachmentSize);
    // An item of type "client_report" holding the report's JSON.
    explicit DuviduEnvelopeItem(const DuviduClientReport& clientReport);

    const std::shared_ptr<const DuviduEnvelopeItemHeader>& header() const { return header_; }
    const DuviduData& data() const { return data_; }

private:
    std::shared_ptr<const DuviduEnvelopeItemHeader> header_;
    DuviduData data_;
};

}  // namespace duvidu
