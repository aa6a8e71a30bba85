#include "duvidu-bench-support/BenchSamples.h"

#include <vector>

using namespace duvidu;

namespace vcbench {

DuviduBreadcrumb sampleBreadcrumb(int index)
{
    DuviduBreadcrumb breadcrumb(DuviduLevel::Info, "ui.click");
    breadcrumb.message = "Pressed the record button " + std::to_string(index);
    breadcrumb.data = Value::Object{{"view", "RecordingView"}, {"index", index}};
    return breadcrumb;
}

std::shared_ptr<DuviduEvent> sampleErrorEvent(size_t frameCount, const std::string& package)
{
    auto event = std::make_shared<DuviduEvent>(NSError("NSCocoaErrorDomain", 4));
    std::vector<DuviduFrame> frames(frameCount);
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i].function = "function_" + std::to_string(i);
        frames[i].instructionAddress = "0x00007f00000" + std::to_string(10000 + i);
        frames[i].package = package;
        frames[i].inApp = i % 2 == 0;
    }
    DuviduException exception("The file could not be opened (Code: 4)", "NSCocoaErrorDomain");
    exception.mechanism = DuviduMechanism("NSError");
    exception.stacktrace = DuviduStacktrace(frames, {});
    event->exceptions = std::vector<DuviduException>{exception};
    return event;
}

}  // namespace vcbench
