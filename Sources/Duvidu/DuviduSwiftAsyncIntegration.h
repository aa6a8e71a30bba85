#pragma once

#include "Duvidu/DuviduBaseIntegration.h"

namespace duvidu {

// Switches the stitching of asynchronous-task frames into the calling thread's stacks on or off, as the option
// swiftAsyncStacktraces says; it counts as installed only while the option is on.
class DuviduSwiftAsyncIntegration : public DuviduBaseIntegration {
public:
    bool installWithOptions(const std::shared_ptr<const DuviduOptions>& options) override;
    void uninstall() override;
};

}  // namespace duvidu
