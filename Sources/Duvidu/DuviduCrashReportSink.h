#pragma once

#include <memory>
#include <vector>

#include "Duvidu/DuviduCrash.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduInAppLogic.h"
#include "Duvidu/Value.h"

namespace duvidu {

// Where stored crash reports go: each becomes a crash event captured through the current hub.
class DuviduCrashReportSink {
public:
    // ObjC: -[DuviduCrashReportSink initWithInAppLogic:]
    explicit DuviduCrashReportSink(std::shared_ptr<const DuviduInAppLogic> inAppLogic);

    // Converts every report the crash reporter stored, oldest first, hands each event on and deletes the report. A
    // report that cannot be read or converted is deleted too: it would fail again at every start. Each report is
    // claimed first (DuviduCrash::claimReport); one that another process holds is left to it.
    void sendAllReports(const DuviduCrash& crash) const;

    // ObjC: -[DuviduCrashReportSink handleConvertedEvent:report:sentReports:] — captures the event with a copy of the
    // hub's scope that also holds the attachment files listed in the report's "attachments"; the report joins
    // sentReports.
    void handleConvertedEvent(const std::shared_ptr<DuviduEvent>& event, const Value::Object& report,
                              std::vector<Value::Object>& sentReports) const;

private:
    std::shared_ptr<const DuviduInAppLogic> inAppLogic_;
};

}  // namespace duvidu
