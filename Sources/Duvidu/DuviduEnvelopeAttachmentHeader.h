#pragma once

#include "Duvidu/DuviduAttachment.h"
#include "Duvidu/DuviduEnvelopeItemHeader.h"

namespace duvidu {

// The header of an attachment item: a file name, perhaps a content type, and the attachment's kind.
class DuviduEnvelopeAttachmentHeader : public DuviduEnvelopeItemHeader {
public:
    DuviduEnvelopeAttachmentHeader(std::string type, uint64_t length, std::string filename,
                                   std::optional<std::string> contentType, DuviduAttachmentType attachmentType);

    DuviduAttachmentType attachmentType() const { return attachmentType_; }
    // Adds "attachment_type".
    Value::Object serialize() const override;

private:
    DuviduAttachmentType attachmentType_;
};

}  // namespace duvidu
