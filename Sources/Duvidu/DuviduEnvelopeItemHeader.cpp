#include "Duvidu/DuviduEnvelopeItemHeader.h"

namespace duvidu {

DuviduEnvelopeItemHeader::DuviduEnvelopeItemHeader(std::string type, uint64_t length)
    : type_(std::move(type)), length_(length)
{
}

Value::Object DuviduEnvelopeItemHeader::serialize() const
{
    Value::Object header;
    header["type"] = type_;
    if (filename_) header["filename"] = *filename_;
    if (contentType_) header["content_type"] = *contentType_;
    header["length"] = length_;
    return header;
}

}  // namespace duvidu
