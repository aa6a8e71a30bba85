#pragma once

#include <memory>

#include "Duvidu/DuviduData.h"
#include "Duvidu/DuviduEnvelopeItemHeader.h"

namespace duvidu {

class DuviduClientReport;
class DuviduSession;

// One item of an envelope: its header and its payload bytes.
class DuviduEnvelopeItem {
public:
    DuviduEnvelopeItem(std::shared_ptr<const DuviduEnvelopeItemHeader> header, DuviduData data);
    // ObjC: -[DuviduEnvelopeItem initWithSession:] — an item of type "session" holding the session's JSON.
    explicit DuviduEnvelopeItem(const DuviduSession& session);
    // An item of type "client_report" holding the report's JSON.
    explicit DuviduEnvelopeItem(const DuviduClientReport& clientReport);

    const std::shared_ptr<const DuviduEnvelopeItemHeader>& header() const { return header_; }
    const DuviduData& data() const { return data_; }

private:
    std::shared_ptr<const DuviduEnvelopeItemHeader> header_;
    DuviduData data_;
};

}  // namespace duvidu
