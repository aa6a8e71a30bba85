#include "Duvidu/DuviduSDK.h"

namespace duvidu {

DuviduId DuviduSDK::captureError(const NSError& error)
{
    // The hub that would hand the error to a client exists only once the SDK is started; without a client no event
    // is built or sent, and the empty id tells the caller so.
    (void)error;
    return DuviduId::empty();
}

}  // namespace duvidu
