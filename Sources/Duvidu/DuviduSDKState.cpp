#include "Duvidu/DuviduSDKState.h"

#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduSDK.h"

namespace duvidu {

namespace {

class FacadeState : public DuviduSDKState {
public:
    std::vector<std::string> installedIntegrationNames() override
    {
        auto names = DuviduSDK::currentHub()->installedIntegrationNames();
        return {names.begin(), names.end()};
    }
    bool markCrashedLastRunCalled() override { return DuviduSDK::markCrashedLastRunCalled(); }
};

}  // namespace

std::shared_ptr<DuviduSDKState> DuviduSDKState::facade()
{
    static const auto state = std::make_shared<FacadeState>();
    return state;
}

}  // namespace duvidu
