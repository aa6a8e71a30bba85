#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// The JSON line before an envelope item's payload.
class DuviduEnvelopeItemHeader {
public:
    DuviduEnvelopeItemHeader(std::string type, uint64_t length);
    virtual ~DuviduEnvelopeItemHeader() = default;

    const std::string& type() const { return type_; }
    uint64_t length() const { return length_; }
    const std::optional<std::string>& filename() const { return filename_; }
    const std::optional<std::string>& contentType() const { return contentType_; }

    // "type" (always, even when empty: a reader stops at an item header without it), "filename" and
    // "content_type" (when set), and always "length".
    virtual Value::Object serialize() const;

protected:
    std::string type_;
    uint64_t length_;
    std::optional<std::string> filename_;
    std::optional<std::string> contentType_;
};

}  // namespace duvidu
