#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "DuviduCrash/Recording/DuviduCrashReportStore.h"

namespace duvidu {

// Crash capture for the whole process: the monitors, the report store and the crash state, installed together.

// Installs crash capture with its files under installPath: reports in "Reports", the state in
// "Data/CrashState.json" (folders made when missing). Takes the list of loaded images, gives the calling thread an
// alternate signal stack and installs the signal and C++ exception monitors. The first install in a process reads the
// state the previous launch left; installing again, also after an uninstall, keeps what that read gave and installs
// only what is missing. False when the folders cannot be made; nothing is installed then.
bool duviducrash_install(const std::string& appName, const std::string& installPath);
// Takes the monitors out: the signal actions and the terminate handler they replaced come back. Reports and state
// stay.
void duviducrash_uninstall();
bool duviducrash_isInstalled();

// The store of the last install; nullptr before the first.
std::shared_ptr<const DuviduCrashReportStore> duviducrash_reportStore();

// The JSON that every report carries as "user_info"; nullptr removes it.
void duviducrash_setUserInfoJSON(const char* json, size_t length);

// Whether the previous launch crashed, as the first install read it; false before it.
bool duviducrash_crashedLastLaunch();
// When it crashed, in milliseconds since 1970, as the first install read it; -1 when unknown.
int64_t duviducrash_lastCrashTimestamp();
// The id of the session it ran when it crashed, as the first install read it: empty when it ran none; none when
// unknown.
std::optional<std::string> duviducrash_lastCrashSessionId();
// The session this process runs now (empty for none), which a crash records.
void duviducrash_setCurrentSessionId(const std::string& sessionId);
double duviducrash_activeDurationSinceLastCrash();
void duviducrash_notifyAppActive(bool isActive);
void duviducrash_notifyAppTerminate();
// The reports and the session of the previous launch's crash have been sent; see DuviduCrashState.
void duviducrash_notifyCrashHandled();

}  // namespace duvidu
