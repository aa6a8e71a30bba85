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
#include <optional>

#include "Duvidu/DuviduDateUtil.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"
#include "DuviduCrash/Recording/DuviduCrashReportWriter.h"

namespace duvidu {

namespace {

// A crash as the file records it: when (milliseconds since 1970, -1 when unknown) and the id of the session that the
// crashed process ran (empty when it ran none; none in a file written before the id was kept). Two records of one
// crash are equal; the records of two crashes differ in the time or the session.
struct RecordedCrash {
    int64_t timestamp = -1;
    std::optional<std::string> sessionId;

    bool operator==(const RecordedCrash&) const = default;
};

std::mutex g_mutex;  // orders the initialisation and the writes outside the crash handler
bool g_initialized = false;
std::atomic<bool> g_crashedLastLaunch{false};
// Whether this process has sent the crash of the previous launch; until then the file keeps saying it crashed.
std::atomic<bool> g_crashHandled{false};
// The crash of the previous launch, while g_crashedLastLaunch. Set once, by the initialisation; under g_mutex.
RecordedCrash g_lastCrash;
// The id of the session this process runs (empty while none runs), for the crash handler: a new id is written into
// the slot the handler is not told to read, then that slot is published. Writers hold g_sessionIdMutex.
constexpr size_t kSessionIdSize = 64;
char g_sessionIds[2][kSessionIdSize];
std::atomic<int> g_sessionIdSlot{0};
std::mutex g_sessionIdMutex;
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
// Holders keep it for a few system calls; after a second of waiting (by the monotonic clock, whatever the sleeps in
// between take) the write goes ahead without it. Safe in a signal handler.
class StateFolderLock {
public:
    StateFolderLock()
    {
        if (g_folder[0] == '\0') return;
        descriptor_ = open(g_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor_ < 0) return;
        const struct timespec pause = {0, 1000000};  // 1 ms
        const int64_t deadline = monotonicMilliseconds() + 1000;
        while (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || monotonicMilliseconds() >= deadline) {
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

// Writes the state under the temporary name and renames it over the file; the crash's time (-1 when unknown) and its
// session's id (nullptr when unknown) only with a crash. The caller holds the folder lock. Safe in a signal handler.
bool writeState(const char* temporaryPath, bool crashed, int64_t activeMilliseconds, int64_t crashTimestamp,
                const char* crashSessionId)
{
    if (g_path[0] == '\0') return false;
    int file = open(temporaryPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) return false;
    DuviduCrashReportWriter writer(file);
    writer.beginObject(nullptr);
    writer.addBoolean("crashedLastLaunch", crashed);
    writer.addMilli("activeDurationSinceLastCrash", activeMilliseconds);
    if (crashed && crashTimestamp >= 0) writer.addMilli("lastCrashTimestamp", crashTimestamp);
    if (crashed && crashSessionId) writer.addString("lastCrashSessionId", crashSessionId);
    writer.endContainer();
    bool written = writer.flush();
    written = close(file) == 0 && written;
    if (!written || rename(temporaryPath, g_path) != 0) {
        unlink(temporaryPath);
        return false;
    }
    return true;
}

// The state file as JSON; not an object when it is missing or unreadable.
nlohmann::json readStateFile(const std::string& path)
{
    auto text = duvidu_readOwnFile(path, kDuviduStateFileLimit);
    if (!text) return nullptr;
    return nlohmann::json::parse(text->begin(), text->end(), nullptr, false);
}

// The crash the state records; none when it records none. A time that is not a date (out of range, negative) is
// unknown.
std::optional<RecordedCrash> recordedCrash(const nlohmann::json& state)
{
    auto crashed = state.find("crashedLastLaunch");
    if (crashed == state.end() || !crashed->is_boolean() || !crashed->get<bool>()) return std::nullopt;
    RecordedCrash crash;
    auto timestamp = state.find("lastCrashTimestamp");
    if (timestamp != state.end() && timestamp->is_number()) {
        // Rounded as written, so that a record read and written again stays equal to itself.
        const double seconds = timestamp->get<double>();
        if (DuviduDateUtil::dateWithSecondsSince1970(seconds) && seconds >= 0)
            crash.timestamp = std::llround(seconds * 1000);
    }
    auto sessionId = state.find("lastCrashSessionId");
    if (sessionId != state.end() && sessionId->is_string()) crash.sessionId = sessionId->get<std::string>();
    return crash;
}

// Under g_mutex and the folder lock. A crash recorded since this process read the file (a sibling's, newer than the
// one read) is never written over: the write is left out then.
void writeStateLocked()
{
    if (auto recorded = recordedCrash(readStateFile(g_path));
        recorded && (!g_crashedLastLaunch.load() || *recorded != g_lastCrash)) {
        DUVIDU_LOG_DEBUG("The crash state records a crash this process did not read; it is left as it is.");
        return;
    }
    const bool crashUnhandled = g_crashedLastLaunch.load() && !g_crashHandled.load();
    const char* sessionId = g_lastCrash.sessionId ? g_lastCrash.sessionId->c_str() : nullptr;
    if (!writeState(g_temporaryPath, crashUnhandled, activeMillisecondsNow(), g_lastCrash.timestamp, sessionId))
        DUVIDU_LOG_ERROR(std::string("Could not write the crash state to ") + g_path + ": " + std::strerror(errno));
}

void readState(const std::string& path)
{
    auto state = readStateFile(path);
    if (state.is_null()) return;
    if (!state.is_object()) {
        DUVIDU_LOG_ERROR("The crash state in " + path + " is not readable; starting from an empty one.");
        return;
    }
    auto crash = recordedCrash(state);
    g_crashedLastLaunch.store(crash.has_value());
    if (crash) g_lastCrash = *crash;
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
    std::lock_guard lock(g_mutex);
    return g_lastCrash.timestamp;
}

std::optional<std::string> DuviduCrashState::lastCrashSessionId()
{
    std::lock_guard lock(g_mutex);
    return g_lastCrash.sessionId;
}

const char* DuviduCrashState::currentSessionId()
{
    return g_sessionIds[g_sessionIdSlot.load()];
}

void DuviduCrashState::setCurrentSessionId(const std::string& sessionId)
{
    std::lock_guard lock(g_sessionIdMutex);
    const int next = 1 - g_sessionIdSlot.load();
    std::snprintf(g_sessionIds[next], kSessionIdSize, "%s", sessionId.size() < kSessionIdSize ? sessionId.c_str() : "");
    g_sessionIdSlot.store(next);
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
    writeState(g_crashTemporaryPath, true, activeMillisecondsNow(), realtimeMilliseconds(), currentSessionId());
}

}  // namespace duvidu
