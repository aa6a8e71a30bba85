#include "DuviduCrash/Recording/DuviduCrashMonitor.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "DuviduCrash/Recording/DuviduCrashReport.h"
#include "DuviduCrash/Recording/DuviduCrashState.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"

namespace duvidu {

namespace {

std::atomic<pid_t> g_crashingThread{0};
std::atomic<bool> g_reportClosed{false};

// Written before the monitors are installed and only read afterwards.
char g_reportId[64];
char g_reportPath[PATH_MAX];
char g_temporaryPath[PATH_MAX];

bool copy(char* out, size_t capacity, const char* first, const char* second = "")
{
    const size_t firstLength = std::strlen(first), secondLength = std::strlen(second);
    if (firstLength + secondLength + 1 > capacity) return false;
    std::memcpy(out, first, firstLength);
    std::memcpy(out + firstLength, second, secondLength + 1);
    return true;
}

// Returns once the claiming thread has closed its report, or after 10 seconds.
void waitForReport()
{
    const struct timespec pause = {0, 1000000};  // 1 ms
    for (int waited = 0; waited < 10000 && !g_reportClosed.load(); ++waited) nanosleep(&pause, nullptr);
}

}  // namespace

bool duviducrashmonitor_claim()
{
    const pid_t self = duviducrashthread_self();
    pid_t expected = 0;
    if (g_crashingThread.compare_exchange_strong(expected, self)) return true;
    if (expected != self) waitForReport();
    return false;
}

bool duviducrashmonitor_setNextReport(const char* reportId, const char* path)
{
    return copy(g_reportId, sizeof g_reportId, reportId) && copy(g_reportPath, sizeof g_reportPath, path) &&
           copy(g_temporaryPath, sizeof g_temporaryPath, path, ".tmp");
}

void duviducrashmonitor_handleCrash(const DuviduCrashMonitorContext& context)
{
    if (g_reportPath[0] != '\0') {
        int file = open(g_temporaryPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (file >= 0) {
            bool written = DuviduCrashReport::write(file, g_reportId, context);
            written = close(file) == 0 && written;
            // A report that could not be written whole is not kept: the store never sees half a report.
            if (!written || rename(g_temporaryPath, g_reportPath) != 0) unlink(g_temporaryPath);
        }
    }
    DuviduCrashState::notifyAppCrash();
    g_reportClosed.store(true);
}

}  // namespace duvidu
