#include "DuviduCrash/Recording/DuviduCrashC.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduLog.h"
#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"
#include "DuviduCrash/Recording/DuviduCrashMonitor.h"
#include "DuviduCrash/Recording/DuviduCrashScopeSync.h"
#include "DuviduCrash/Recording/DuviduCrashState.h"
#include "DuviduCrash/Recording/Monitors/DuviduCrashMonitorCPPException.h"
#include "DuviduCrash/Recording/Monitors/DuviduCrashMonitorSignal.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashAlternateStack.h"

namespace fs = std::filesystem;

namespace duvidu {

namespace {

std::mutex g_mutex;
std::shared_ptr<const DuviduCrashReportStore> g_store;

}  // namespace

bool duviducrash_install(const std::string& appName, const std::string& installPath)
{
    std::lock_guard lock(g_mutex);
    auto store = std::make_shared<DuviduCrashReportStore>((fs::path(installPath) / "Reports").string(), appName);
    const fs::path dataFolder = fs::path(installPath) / "Data";
    std::error_code error;
    fs::create_directories(dataFolder, error);
    if (error) {
        DUVIDU_LOG_ERROR("Could not create the crash data folder " + dataFolder.string() + ": " + error.message());
        return false;
    }
    if (!store->prepare()) return false;
    const std::string reportId = DuviduId().duviduIdString();
    if (!duviducrashmonitor_setNextReport(reportId.c_str(), store->pathForReportId(reportId).c_str())) {
        DUVIDU_LOG_ERROR("The crash report path is too long: " + store->pathForReportId(reportId));
        return false;
    }
    g_store = store;
    DuviduCrashState::initialize((dataFolder / "CrashState.json").string());
    DuviduCrashBinaryImageCache::refresh();
    duviducrashstack_ensureAlternateStack();
    duviducrashmonitor_signal_install();
    duviducrashmonitor_cppexception_install();
    return true;
}

void duviducrash_uninstall()
{
    std::lock_guard lock(g_mutex);
    duviducrashmonitor_cppexception_uninstall();
    duviducrashmonitor_signal_uninstall();
}

bool duviducrash_isInstalled()
{
    return duviducrashmonitor_signal_isInstalled() && duviducrashmonitor_cppexception_isInstalled();
}

std::shared_ptr<const DuviduCrashReportStore> duviducrash_reportStore()
{
    std::lock_guard lock(g_mutex);
    return g_store;
}

void duviducrash_setUserInfoJSON(const char* json, size_t length)
{
    DuviduCrashScopeSync::setField(DuviduCrashScopeSync::UserInfo, json, length);
}

bool duviducrash_crashedLastLaunch()
{
    return DuviduCrashState::crashedLastLaunch();
}

int64_t duviducrash_lastCrashTimestamp()
{
    return DuviduCrashState::lastCrashTimestamp();
}

std::optional<std::string> duviducrash_lastCrashSessionId()
{
    return DuviduCrashState::lastCrashSessionId();
}

void duviducrash_setCurrentSessionId(const std::string& sessionId)
{
    DuviduCrashState::setCurrentSessionId(sessionId);
}

double duviducrash_activeDurationSinceLastCrash()
{
    return DuviduCrashState::activeDurationSinceLastCrash();
}

void duviducrash_notifyAppActive(bool isActive)
{
    DuviduCrashState::notifyAppActive(isActive);
}

void duviducrash_notifyAppTerminate()
{
    DuviduCrashState::notifyAppTerminate();
}

void duviducrash_notifyCrashHandled()
{
    DuviduCrashState::notifyCrashHandled();
}

}  // namespace duvidu
