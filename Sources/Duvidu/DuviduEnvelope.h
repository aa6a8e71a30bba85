#pragma once

#include <vector>

#include "Duvidu/DuviduEnvelopeHeader.h"
#include "Duvidu/DuviduEnvelopeItem.h"

namespace duvidu {

// The unit in which the SDK stores and sends everything: a header and its items, in order.
class DuviduEnvelope {
public:
    DuviduEnvelope(DuviduEnvelopeHeader header, DuviduEnvelopeItem singleItem);
    DuviduEnvelope(DuviduEnvelopeHeader header, std::vector<DuviduEnvelopeItem> items);

    const DuviduEnvelopeHeader& header() const { return header_; }
    DuviduEnvelopeHeader& header() { return header_; }
    const std::vector<DuviduEnvelopeItem>& items() const { return items_; }

private:
    DuviduEnvelopeHeader header_;
    std::vector<DuviduEnvelopeItem> items_;
};

}  // namespace duvidu
