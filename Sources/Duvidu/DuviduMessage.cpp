#include "Duvidu/DuviduMessage.h"

#include "Duvidu/DuviduDescription.h"

namespace duvidu {

DuviduMessage::DuviduMessage(std::string formatted) : formatted_(capped(std::move(formatted))) {}

void DuviduMessage::setMessage(std::optional<std::string> message)
{
    if (message) message = capped(std::move(*message));
    message_ = std::move(message);
}

std::string DuviduMessage::capped(std::string text)
{
    // Every text of at most maxLength bytes fits: no character takes fewer bytes than UTF-16 units.
    if (text.size() <= maxLength) return text;
    size_t units = 0;
    size_t at = 0;
    while (at < text.size()) {
        auto lead = static_cast<unsigned char>(text[at]);
        // A character of four UTF-8 bytes is a surrogate pair in UTF-16; a stray byte counts as one unit.
        size_t bytes = 1;
        size_t width = 1;
        if (lead >= 0xF0 && lead < 0xF8) {
            bytes = 4;
            width = 2;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            bytes = 3;
        } else if (lead >= 0xC0 && lead < 0xE0) {
            bytes = 2;
        }
        size_t valid = 1;
        while (valid < bytes && at + valid < text.size() &&
               (static_cast<unsigned char>(text[at + valid]) & 0xC0) == 0x80)
            ++valid;
        if (valid < bytes) {
            bytes = 1;
            width = 1;
        }
        if (units + width > maxLength) break;
        units += width;
        at += bytes;
    }
    text.resize(at);
    return text;
}

Value::Object DuviduMessage::serialize() const
{
    Value::Object json{{"formatted", formatted_}};
    if (message_) json["message"] = *message_;
    if (params_) json["params"] = *params_;
    return json;
}

std::string DuviduMessage::description() const
{
    return duvidu_objectDescription("DuviduMessage", this, serialize());
}

}  // namespace duvidu
