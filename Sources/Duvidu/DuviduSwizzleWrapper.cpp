#include "Duvidu/DuviduSwizzleWrapper.h"

namespace duvidu {

std::shared_ptr<DuviduSwizzleWrapper> DuviduSwizzleWrapper::sharedInstance()
{
    static const auto instance = std::make_shared<DuviduSwizzleWrapper>();
    return instance;
}

}  // namespace duvidu
