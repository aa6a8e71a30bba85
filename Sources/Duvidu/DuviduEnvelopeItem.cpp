#include "Duvidu/DuviduEnvelopeItem.h"

#include "Duvidu/DuviduSerialization.h"
#include "Duvidu/DuviduSession.h"

namespace duvidu {

DuviduEnvelopeItem::DuviduEnvelopeItem(std::shared_ptr<const DuviduEnvelopeItemHeader> header, DuviduData data)
    : header_(std::move(header)), data_(std::move(data))
{
}

DuviduEnvelopeItem::DuviduEnvelopeItem(const DuviduSession& session)
    : data_(DuviduSerialization::dataWithSession(session).value_or(DuviduData{}))
{
    header_ = std::make_shared<DuviduEnvelopeItemHeader>("session", data_.size());
}

}  // namespace duvidu
