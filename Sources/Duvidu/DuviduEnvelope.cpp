#include "Duvidu/DuviduEnvelope.h"

namespace duvidu {

DuviduEnvelope::DuviduEnvelope(DuviduEnvelopeHeader header, DuviduEnvelopeItem singleItem)
    : header_(std::move(header)), items_{std::move(singleItem)}
{
}

DuviduEnvelope::DuviduEnvelope(DuviduEnvelopeHeader header, std::vector<DuviduEnvelopeItem> items)
    : header_(std::move(header)), items_(std::move(items))
{
}

}  // namespace duvidu
