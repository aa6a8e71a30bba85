#pragma once

#include "Duvidu/DuviduDataCategory.h"
#include "Duvidu/DuviduDiscardReason.h"
#include "Duvidu/DuviduEnvelope.h"

namespace duvidu {

// Takes envelopes to the service.
class DuviduTransport {
public:
    virtual ~DuviduTransport() = default;

    // Stores the envelope and sends it when it can.
    virtual void sendEnvelope(const DuviduEnvelope& envelope) = 0;
    // Counts one discarded item of the category for the reason, for the next client report.
    virtual void recordLostEvent(DuviduDataCategory category, DuviduDiscardReason reason) = 0;
    // Sends what is pending and waits at most the given number of seconds for it; true when the sending came to
    // rest in time (everything sent, or kept for later after a failure).
    virtual bool flush(double timeoutSeconds) = 0;
    // Closing: what is pending goes out within the timeout, and whatever must outlive the transport is kept within
    // the same time. A transport with nothing of that kind flushes.
    virtual void close(double timeoutSeconds) { flush(timeoutSeconds); }
};

}  // namespace duvidu
