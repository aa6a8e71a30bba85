#include "Duvidu/DuviduCrashIntegration.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "Duvidu/DuviduBundleInfo.h"
#include "Duvidu/DuviduCrash.h"
#include "Duvidu/DuviduCrashReportSink.h"
#include "Duvidu/DuviduCrashScopeObserver.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSDK.h"
#include "Duvidu/DuviduSessionCrashedHandler.h"
#include "Duvidu/DuviduSysctl.h"
#include "DuviduCrash/Recording/DuviduCrashC.h"

namespace duvidu {

namespace {

// The crash state is read once per process, so the session of a crashed launch is ended once too: a later start in
// the same process would take this run's own session for it.
std::atomic<bool> crashedSessionHandled{false};

// The value of KEY=value (quotes removed) in /etc/os-release text.
std::optional<std::string> osReleaseField(const std::string& text, const std::string& key)
{
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.rfind(key + "=", 0) != 0) continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::string firstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

Value::Object osContext(const struct utsname& system)
{
    Value::Object os{{"name", system.sysname}, {"kernel_version", system.release}, {"build", system.version}};
    if (auto release = duvidu_readTextFile("/etc/os-release")) {
        if (auto name = osReleaseField(*release, "NAME")) os["name"] = *name;
        if (auto version = osReleaseField(*release, "VERSION_ID")) os["version"] = *version;
    }
    return os;
}

Value::Object deviceContext(const struct utsname& system)
{
    Value::Object device{{"arch", system.machine}, {"boot_time", DuviduSysctl().systemBootTimestamp()}};
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        device["memory_size"] = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    if (auto model = duvidu_readTextFile("/sys/devices/virtual/dmi/id/product_name")) {
        if (!firstLine(*model).empty()) device["model"] = firstLine(*model);
    }
    return device;
}

Value::Object appContext()
{
    Value::Object app{{"app_start_time", DuviduSysctl().processStartTimestamp()}};
    auto bundle = DuviduBundleInfo::current();
    if (!bundle) return app;
    if (bundle->identifier) app["app_identifier"] = *bundle->identifier;
    if (bundle->executable) app["app_name"] = *bundle->executable;
    if (bundle->shortVersion) app["app_version"] = *bundle->shortVersion;
    if (bundle->build) app["app_build"] = *bundle->build;
    return app;
}

}  // namespace

DuviduCrashIntegration::~DuviduCrashIntegration()
{
    if (notificationCenter_) notificationCenter_->removeObserver(this);
}

bool DuviduCrashIntegration::installWithOptions(const std::shared_ptr<const DuviduOptions>& options)
{
    if (!options->enableCrashHandler) {
        DUVIDU_LOG_DEBUG("Not going to enable DuviduCrashIntegration because enableCrashHandler is disabled.");
        return false;
    }
    auto hub = DuviduSDK::currentHub();
    auto client = hub->getClient();
    if (!client) return false;
    auto crash = DuviduCrash::sharedInstance();
    if (!crash->install()) return false;

    struct utsname system {};
    uname(&system);
    auto scope = hub->scope();
    scope->setContextValue(osContext(system), "os");
    scope->setContextValue(deviceContext(system), "device");
    scope->setContextValue(appContext(), "app");
    hub->configureScope([&](DuviduScope& configured) {
        auto observer = std::make_shared<DuviduCrashScopeObserver>(options->maxBreadcrumbs);
        configured.addObserver(observer);
        observer->syncWithScope(configured);
    });
    // A crash is reported by a later run, which may carry another release, dist and environment: the report keeps
    // this run's, as its events get them.
    Value::Object userInfo = scope->serialize();
    if (options->releaseName) userInfo["release"] = *options->releaseName;
    const auto bundle = DuviduBundleInfo::current();
    if (options->dist) userInfo["dist"] = *options->dist;
    else if (bundle && bundle->build) userInfo.emplace("dist", *bundle->build);
    userInfo.emplace("environment", options->environment);
    crash->setUserInfo(userInfo);

    if (!crashedSessionHandled.exchange(true)) {
        DuviduSessionCrashedHandler(DuviduDependencyContainer::sharedInstance()->crashWrapper(),
                                    client->fileManager())
            .endCurrentSessionAsCrashedWhenCrashOrOOM();
    }
    DuviduCrashReportSink(std::make_shared<DuviduInAppLogic>(options->inAppIncludes(), options->inAppExcludes()))
        .sendAllReports(*crash);
    // A sibling process that started at the same moment may have sent the crash before this one ended its session.
    hub->captureCrashedSessionLeftOver();
    // Processes that start from now on need not know of the crash any more.
    duviducrash_notifyCrashHandled();
    observeApplicationState();
    return true;
}

void DuviduCrashIntegration::observeApplicationState()
{
    notificationCenter_ = DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper();
    notificationCenter_->addObserver(
        this, [](const DuviduNotification&) { duviducrash_notifyAppActive(true); },
        DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    notificationCenter_->addObserver(
        this, [](const DuviduNotification&) { duviducrash_notifyAppActive(false); },
        DuviduNSNotificationCenterWrapper::willResignActiveNotificationName());
    notificationCenter_->addObserver(
        this, [](const DuviduNotification&) { duviducrash_notifyAppTerminate(); },
        DuviduNSNotificationCenterWrapper::willTerminateNotificationName());
}

void DuviduCrashIntegration::uninstall()
{
    DuviduCrash::sharedInstance()->uninstall();
    if (notificationCenter_) notificationCenter_->removeObserver(this);
    notificationCenter_.reset();
}

}  // namespace duvidu
