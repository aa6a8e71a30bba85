#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"

namespace duvidu {

DuviduEnvelopeAttachmentHeader::DuviduEnvelopeAttachmentHeader(std::string type, uint64_t length,
                                                               std::string filename,
                                                               std::optional<std::string> contentType,
                                                               DuviduAttachmentType attachmentType)
    : DuviduEnvelopeItemHeader(std::move(type), length), attachmentType_(attachmentType)
{
    filename_ = std::move(filename);
    contentType_ = std::move(contentType);
}

Value::Object DuviduEnvelopeAttachmentHeader::serialize() const
{
    auto header = DuviduEnvelopeItemHeader::serialize();
    header["attachment_type"] = nameForAttachmentType(attachmentType_);
    return header;
}

}  // namespace duvidu
