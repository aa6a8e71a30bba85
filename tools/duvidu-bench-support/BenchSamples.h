#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduEvent.h"

namespace vcbench {

// A breadcrumb as the application leaves one for a click, with a message and data that name the index.
duvidu::DuviduBreadcrumb sampleBreadcrumb(int index);

// An error event made from a failed file open: one exception with the NSError mechanism and a stack of `frameCount`
// frames in `package`, every other one in the app.
std::shared_ptr<duvidu::DuviduEvent> sampleErrorEvent(size_t frameCount, const std::string& package);

}  // namespace vcbench
