#include "Duvidu/DuviduCrash.h"

#include <filesystem>

#include "Duvidu/DuviduBundleInfo.h"
#include "Duvidu/DuviduCacheDirectory.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduNSProcessInfoWrapper.h"
#include "Duvidu/DuviduSanitize.h"
#include "Duvidu/DuviduSerialization.h"
#include "DuviduCrash/Recording/DuviduCrashC.h"

namespace duvidu {

namespace {

// The application's name as a folder and file name: the executable's name, or the bundle's when it names one.
std::string appName()
{
    auto bundle = DuviduBundleInfo::current();
    std::string name = bundle && bundle->executable ? *bundle->executable : "";
    if (name.empty()) name = std::filesystem::path(DuviduNSProcessInfoWrapper::shared()->processPath()).filename();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return name.empty() || name == "." || name == ".." ? "application" : name;
}

}  // namespace

std::shared_ptr<DuviduCrash> DuviduCrash::sharedInstance()
{
    static auto instance = std::make_shared<DuviduCrash>();
    return instance;
}

bool DuviduCrash::crashedLastLaunch() const
{
    return duviducrash_crashedLastLaunch();
}

std::string DuviduCrash::installPath()
{
    return (std::filesystem::path(duvidu_cacheDirectory()) / "DuviduCrash" / appName()).string();
}

bool DuviduCrash::install()
{
    return duviducrash_install(appName(), installPath());
}

void DuviduCrash::uninstall()
{
    duviducrash_uninstall();
}

bool DuviduCrash::isInstalled() const
{
    return duviducrash_isInstalled();
}

void DuviduCrash::setUserInfo(const Value::Object& userInfo)
{
    // The scope's contexts hold dates (boot and start times), which JSON has no place for.
    auto json = DuviduSerialization::dataWithJSONObject(Value(duvidu_sanitize(userInfo)));
    if (!json) {
        DUVIDU_LOG_ERROR("Could not serialize the user info for crash reports.");
        return;
    }
    duviducrash_setUserInfoJSON(reinterpret_cast<const char*>(json->data()), json->size());
}

std::vector<std::string> DuviduCrash::reportIds() const
{
    auto store = duviducrash_reportStore();
    return store ? store->reportIds() : std::vector<std::string>{};
}

std::optional<DuviduFileLock> DuviduCrash::claimReport(const std::string& reportId) const
{
    auto store = duviducrash_reportStore();
    return store ? DuviduFileLock::acquire(store->pathForReportId(reportId)) : std::nullopt;
}

std::optional<Value::Object> DuviduCrash::readReport(const std::string& reportId) const
{
    auto store = duviducrash_reportStore();
    auto text = store ? store->readReport(reportId) : std::nullopt;
    if (!text) return std::nullopt;
    std::string problem;
    auto json = DuviduSerialization::JSONObjectWithData(reinterpret_cast<const uint8_t*>(text->data()),
                                                        text->size(), &problem);
    if (!json || !json->isObject()) {
        DUVIDU_LOG_ERROR("Crash report " + reportId + " is not readable: " + problem);
        return std::nullopt;
    }
    return *json->asObject();
}

std::set<std::string> DuviduCrash::reportedSessionIds() const
{
    std::set<std::string> sessionIds;
    for (const auto& reportId : reportIds()) {
        const auto report = readReport(reportId);
        if (!report) continue;
        const auto header = report->find("report");
        const Value::Object* fields = header == report->end() ? nullptr : header->second.asObject();
        if (!fields) continue;
        const auto sessionId = fields->find("session_id");
        if (sessionId != fields->end() && sessionId->second.isString()) sessionIds.insert(*sessionId->second.asString());
    }
    return sessionIds;
}

void DuviduCrash::deleteReport(const std::string& reportId) const
{
    if (auto store = duviducrash_reportStore()) store->deleteReport(reportId);
}

}  // namespace duvidu
