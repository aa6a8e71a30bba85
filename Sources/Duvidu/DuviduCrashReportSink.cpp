#include "Duvidu/DuviduCrashReportSink.h"

#include "Duvidu/DuviduCrashReportConverter.h"
#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSDK.h"

namespace duvidu {

DuviduCrashReportSink::DuviduCrashReportSink(std::shared_ptr<const DuviduInAppLogic> inAppLogic)
    : inAppLogic_(std::move(inAppLogic))
{
}

void DuviduCrashReportSink::sendAllReports(const DuviduCrash& crash) const
{
    std::vector<Value::Object> sentReports;
    for (const auto& reportId : crash.reportIds()) {
        // Held until the report is deleted: another process starting now passes it over, or finds it gone.
        auto claim = crash.claimReport(reportId);
        if (!claim) continue;
        auto report = crash.readReport(reportId);
        auto event = report ? DuviduCrashReportConverter(*report, inAppLogic_).convertReportToEvent() : nullptr;
        if (event) handleConvertedEvent(event, *report, sentReports);
        else DUVIDU_LOG_ERROR("Crash report " + reportId + " could not be converted to an event; it is deleted.");
        crash.deleteReport(reportId);
    }
}

void DuviduCrashReportSink::handleConvertedEvent(const std::shared_ptr<DuviduEvent>& event,
                                                 const Value::Object& report,
                                                 std::vector<Value::Object>& sentReports) const
{
    auto hub = DuviduSDK::currentHub();
    auto scope = std::make_shared<DuviduScope>(*hub->scope());
    auto attachments = report.find("attachments");
    if (attachments != report.end() && attachments->second.isArray()) {
        for (const auto& path : *attachments->second.asArray()) {
            if (auto text = path.asString()) scope->addCrashReportAttachmentInPath(*text);
        }
    }
    hub->captureCrashEvent(event, scope);
    sentReports.push_back(report);
}

}  // namespace duvidu
