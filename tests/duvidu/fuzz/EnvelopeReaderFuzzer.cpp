// libFuzzer entry point: the envelope reader must accept any bytes without reading outside them or crashing.
#include <cstddef>
#include <cstdint>

#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSerialization.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        duvidu::DuviduLog::configure(false, duvidu::DuviduLevel::None);
        return true;
    }();
    (void)quiet;
    auto envelope = duvidu::DuviduSerialization::envelopeWithData(data, size);
    if (envelope) {
        // Whatever was read must write back out.
        (void)duvidu::DuviduSerialization::dataWithEnvelope(*envelope);
    }
    return 0;
}
