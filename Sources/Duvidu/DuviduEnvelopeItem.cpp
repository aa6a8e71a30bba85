#include "Duvidu/DuviduEnvelopeItem.h"

#include "Duvidu/DuviduClientReport.h"
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

DuviduEnvelopeItem::DuviduEnvelopeItem(const DuviduClientReport& clientReport)
    : data_(DuviduSerialization::dataWithJSONObject(clientReport.serialize()).value_or(DuviduData{}))
{
    header_ = std::make_shared<DuviduEnvelopeItemHeader>("client_report", data_.size());
}

}  // namespace duvidu
