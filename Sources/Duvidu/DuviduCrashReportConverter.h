#pragma once

#include <memory>

#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduInAppLogic.h"
#include "Duvidu/Value.h"

namespace duvidu {

// Turns a crash report stored by an earlier launch into a crash event: level fatal, one exception with how the
// process died (the signal, or the C++ exception's type and what()), the process's threads with the crashed thread's
// stack, the loaded images as debug images, and the scope, release and dist the report carried. The crashed stack is
// named here, from the image files on disk, for images whose build id is still the one the report recorded.
class DuviduCrashReportConverter {
public:
    // ObjC: -[DuviduCrashReportConverter initWithReport:inAppLogic:]
    DuviduCrashReportConverter(Value::Object report, std::shared_ptr<const DuviduInAppLogic> inAppLogic);

    // ObjC: -[DuviduCrashReportConverter convertReportToEvent] — nullptr when the report says nothing of a crash.
    std::shared_ptr<DuviduEvent> convertReportToEvent() const;

private:
    Value::Object report_;
    std::shared_ptr<const DuviduInAppLogic> inAppLogic_;
};

}  // namespace duvidu
