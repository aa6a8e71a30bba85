#include "DuviduCrash/Recording/DuviduCrashState.h"

#include <fcntl.h>
#include <sys/file.h>
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
// When the previous launch crashed, in milliseconds since 1970; -1 when unknown. Set once, by the initialisation.
std::atomic<int64_t> g_lastCrashTimestamp{-1};
// Active milliseconds since the last crash, not counting the stretch that is running now.
std::atomic<int64_t> g_activeMilliseconds{0};
// When the running active stretch began, in monotonic milliseconds; -1 while not active.
std::atomic<int64_t> g_activeSince{-1};
// The file and the temporary names it is written under: one for normal writes, one for the crash handler, so that
// the two never write into the same file; and its folder, which the writers lock.
char g_folder[PATH_MAX];
char g_path[PATH_MAX];
char g_temporaryPath[PATH_MAX];
char g_crashTemporaryPath[PATH_MAX];

int64_t monotonicMilliseconds()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Safe in a signal handler.
int64_t realtimeMilliseconds()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
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
    std::snprintf(g_folder, sizeof g_folder, "%s", slash == std::string::npos ? "." : path.substr(0, slash).c_str());
    std::snprintf(g_path, sizeof g_path, "%s", path.c_str());
    std::snprintf(g_temporaryPath, sizeof g_temporaryPath, "%s.%s.tmp", folder.c_str(), name.c_str());
    std::snprintf(g_crashTemporaryPath, sizeof g_crashTemporaryPath, "%s.%s.crash", folder.c_str(), name.c_str());
    return true;
}

// An exclusive lock on the state's folder, held by every write of the state, in every process that shares it, so
// that the writes of processes that start and crash at once (under the same temporary names) come one after the
// other: a crash handler reads the crash's time while holding it, and so never puts an older crash over a newer one.
// Holders keep it for a few system calls; after a second of waiting the write goes ahead without it. Safe in a signal
// handler.
class StateFolderLock {
public:
    StateFolderLock()
    {
        if (g_folder[0] == '\0') return;
        descriptor_ = open(g_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor_ < 0) return;
        const struct timespec pause = {0, 1000000};  // 1 ms
        for (int waited = 0; flock(descriptor_, LOCK_EX | LOCK_NB) != 0; ++waited) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= 1000) {
                close(descriptor_);
                descriptor_ = -1;
                return;
            }
            nanosleep(&pause, nullptr);
        }
    }
    StateFolderLock(const StateFolderLock&) = delete;
    StateFolderLock& operator=(const StateFolderLock&) = delete;
    ~StateFolderLock()
    {
        if (descriptor_ >= 0) close(descriptor_);
    }

private:
    int descriptor_ = -1;
};

// Writes the state under the temporary name and renames it over the file; the crash's time (-1 when unknown) only
// with a crash. The caller holds the folder lock. Safe in a signal handler.
bool writeState(const char* temporaryPath, bool crashed, int64_t activeMilliseconds, int64_t crashTimestamp)
{
    if (g_path[0] == '\0') return false;
    int file = open(temporaryPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) return false;
    DuviduCrashReportWriter writer(file);
    writer.beginObject(nullptr);
    writer.addBoolean("crashedLastLaunch", crashed);
    writer.addMilli("activeDurationSinceLastCrash", activeMilliseconds);
    if (crashed && crashTimestamp >= 0) writer.addMilli("lastCrashTimestamp", crashTimestamp);
    writer.endContainer();
    bool written = writer.flush();
    written = close(file) == 0 && written;
    if (!written || rename(temporaryPath, g_path) != 0) {
        unlink(temporaryPath);
        return false;
    }
    return true;
}

// Under g_mutex and the folder lock.
void writeStateLocked()
{
    const bool crashUnhandled = g_crashedLastLaunch.load() && !g_crashHandled.load();
    if (!writeState(g_temporaryPath, crashUnhandled, activeMillisecondsNow(), g_lastCrashTimestamp.load()))
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
    auto crashTimestamp = state.find("lastCrashTimestamp");
    if (g_crashedLastLaunch.load() && crashTimestamp != state.end() && crashTimestamp->is_number()) {
        const double seconds = crashTimestamp->get<double>();
        if (std::isfinite(seconds) && seconds >= 0) g_lastCrashTimestamp.store(std::llround(seconds * 1000));
    }
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
    const bool pathSet = setPath(path);
    // The first read and its write under one lock: a crash that a sibling records in between is not written over.
    StateFolderLock folderLock;
    if (!g_initialized) {
        readState(path);
        g_initialized = true;
    }
    if (!pathSet) {
        DUVIDU_LOG_ERROR("The crash state path is too long: " + path);
        return;
    }
    writeStateLocked();
}

bool DuviduCrashState::crashedLastLaunch()
{
    return g_crashedLastLaunch.load();
}

int64_t DuviduCrashState::lastCrashTimestamp()
{
    return g_lastCrashTimestamp.load();
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
    StateFolderLock folderLock;
    writeStateLocked();
}

void DuviduCrashState::notifyCrashHandled()
{
    std::lock_guard lock(g_mutex);
    if (g_crashHandled.exchange(true) || !g_crashedLastLaunch.load() || g_path[0] == '\0') return;
    StateFolderLock folderLock;
    writeStateLocked();
}

void DuviduCrashState::notifyAppTerminate()
{
    notifyAppActive(false);
}

void DuviduCrashState::notifyAppCrash()
{
    StateFolderLock folderLock;
    writeState(g_crashTemporaryPath, true, activeMillisecondsNow(), realtimeMilliseconds());
}

}  // namespace duvidu
