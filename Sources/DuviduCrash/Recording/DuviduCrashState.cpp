#include "DuviduCrash/Recording/DuviduCrashState.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>

#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"
#include "DuviduCrash/Recording/DuviduCrashReportWriter.h"

namespace duvidu {

namespace {

std::mutex g_mutex;  // orders the initialisation and the writes outside the crash handler
bool g_initialized = false;
std::atomic<bool> g_crashedLastLaunch{false};
// Whether this process has sent the crash of the previous launch; until then the file keeps saying it crashed.
std::atomic<bool> g_crashHandled{false};
// Active milliseconds since the last crash, not counting the stretch that is running now.
std::atomic<int64_t> g_activeMilliseconds{0};
// When the running active stretch began, in monotonic milliseconds; -1 while not active.
std::atomic<int64_t> g_activeSince{-1};
// The file and the temporary names it is written under: one for normal writes, one for the crash handler, so that
// the two never write into the same file.
char g_path[PATH_MAX];
char g_temporaryPath[PATH_MAX];
char g_crashTemporaryPath[PATH_MAX];

int64_t monotonicMilliseconds()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t activeMillisecondsNow()
{
    const int64_t since = g_activeSince.load();
    return g_activeMilliseconds.load() + (since >= 0 ? monotonicMilliseconds() - since : 0);
}

bool setPath(const std::string& path)
{
    if (path.size() + 16 >= PATH_MAX) return false;
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::snprintf(g_path, sizeof g_path, "%s", path.c_str());
    std::snprintf(g_temporaryPath, sizeof g_temporaryPath, "%s.%s.tmp", folder.c_str(), name.c_str());
    std::snprintf(g_crashTemporaryPath, sizeof g_crashTemporaryPath, "%s.%s.crash", folder.c_str(), name.c_str());
    return true;
}

// Writes the state under the temporary name and renames it over the file. Safe in a signal handler.
bool writeState(const char* temporaryPath, bool crashed, int64_t activeMilliseconds)
{
    if (g_path[0] == '\0') return false;
    int file = open(temporaryPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) return false;
    DuviduCrashReportWriter writer(file);
    writer.beginObject(nullptr);
    writer.addBoolean("crashedLastLaunch", crashed);
    writer.addMilli("activeDurationSinceLastCrash", activeMilliseconds);
    writer.endContainer();
    bool written = writer.flush();
    written = close(file) == 0 && written;
    if (!written || rename(temporaryPath, g_path) != 0) {
        unlink(temporaryPath);
        return false;
    }
    return true;
}

void writeStateLocked()
{
    const bool crashUnhandled = g_crashedLastLaunch.load() && !g_crashHandled.load();
    if (!writeState(g_temporaryPath, crashUnhandled, activeMillisecondsNow()))
        DUVIDU_LOG_ERROR(std::string("Could not write the crash state to ") + g_path + ": " + std::strerror(errno));
}

void readState(const std::string& path)
{
    auto text = duvidu_readOwnFile(path, kDuviduStateFileLimit);
    if (!text) return;
    auto state = nlohmann::json::parse(text->begin(), text->end(), nullptr, false);
    if (!state.is_object()) {
        DUVIDU_LOG_ERROR("The crash state in " + path + " is not readable; starting from an empty one.");
        return;
    }
    auto crashed = state.find("crashedLastLaunch");
    g_crashedLastLaunch.store(crashed != state.end() && crashed->is_boolean() && crashed->get<bool>());
    auto active = state.find("activeDurationSinceLastCrash");
    if (!g_crashedLastLaunch.load() && active != state.end() && active->is_number()) {
        const double seconds = active->get<double>();
        if (std::isfinite(seconds) && seconds > 0) g_activeMilliseconds.store(std::llround(seconds * 1000));
    }
}

}  // namespace

void DuviduCrashState::initialize(const std::string& path)
{
    std::lock_guard lock(g_mutex);
    if (!g_initialized) {
        readState(path);
        g_initialized = true;
    }
    if (!setPath(path)) {
        DUVIDU_LOG_ERROR("The crash state path is too long: " + path);
        return;
    }
    writeStateLocked();
}

bool DuviduCrashState::crashedLastLaunch()
{
    return g_crashedLastLaunch.load();
}

double DuviduCrashState::activeDurationSinceLastCrash()
{
    return static_cast<double>(activeMillisecondsNow()) / 1000.0;
}

void DuviduCrashState::notifyAppActive(bool isActive)
{
    std::lock_guard lock(g_mutex);
    const int64_t since = g_activeSince.load();
    if (isActive) {
        if (since < 0) g_activeSince.store(monotonicMilliseconds());
        return;
    }
    if (since < 0) return;
    g_activeMilliseconds.fetch_add(monotonicMilliseconds() - since);
    g_activeSince.store(-1);
    writeStateLocked();
}

void DuviduCrashState::notifyCrashHandled()
{
    std::lock_guard lock(g_mutex);
    if (g_crashHandled.exchange(true) || !g_crashedLastLaunch.load() || g_path[0] == '\0') return;
    writeStateLocked();
}

void DuviduCrashState::notifyAppTerminate()
{
    notifyAppActive(false);
}

void DuviduCrashState::notifyAppCrash()
{
    writeState(g_crashTemporaryPath, true, activeMillisecondsNow());
}

}  // namespace duvidu
