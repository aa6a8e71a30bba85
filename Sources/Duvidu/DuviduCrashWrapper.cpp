#include "Duvidu/DuviduCrashWrapper.h"

#include <sys/statvfs.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "Duvidu/DuviduFileText.h"
#include "DuviduCrash/Recording/DuviduCrashC.h"

namespace duvidu {

std::shared_ptr<DuviduCrashWrapper> DuviduCrashWrapper::sharedInstance()
{
    static auto instance = std::make_shared<DuviduCrashWrapper>();
    return instance;
}

std::optional<uint64_t> DuviduCrashWrapper::kilobytesField(const std::string& procText, const std::string& key)
{
    std::istringstream lines(procText);
    std::string line;
    const std::string prefix = key + ":";
    while (std::getline(lines, line)) {
        if (line.rfind(prefix, 0) != 0) continue;
        std::istringstream fields(line.substr(prefix.size()));
        uint64_t kilobytes = 0;
        if (!(fields >> kilobytes)) return std::nullopt;
        return kilobytes * 1024;
    }
    return std::nullopt;
}

bool DuviduCrashWrapper::crashedLastLaunch() const
{
    return duviducrash_crashedLastLaunch();
}

std::optional<DuviduDate> DuviduCrashWrapper::lastCrashDate() const
{
    const int64_t milliseconds = duviducrash_lastCrashTimestamp();
    if (milliseconds < 0) return std::nullopt;
    // The crash state keeps only times that are dates: no overflow here.
    return DuviduDate(std::chrono::milliseconds(milliseconds));
}

std::optional<std::string> DuviduCrashWrapper::lastCrashSessionId() const
{
    return duviducrash_lastCrashSessionId();
}

double DuviduCrashWrapper::activeDurationSinceLastCrash() const
{
    return duviducrash_activeDurationSinceLastCrash();
}

bool DuviduCrashWrapper::isBeingTraced() const
{
    auto text = duvidu_readTextFile("/proc/self/status");
    if (!text) return false;
    auto at = text->find("\nTracerPid:");
    if (at == std::string::npos) return false;
    std::istringstream field(text->substr(at + 11));
    long tracer = 0;
    return (field >> tracer) && tracer != 0;
}

uint64_t DuviduCrashWrapper::freeMemorySize() const
{
    auto text = duvidu_readTextFile("/proc/meminfo");
    return text ? kilobytesField(*text, "MemFree").value_or(0) : 0;
}

uint64_t DuviduCrashWrapper::freeStorageSize() const
{
    const char* home = std::getenv("HOME");
    struct statvfs info {};
    if (!home || statvfs(home, &info) != 0) return 0;
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

uint64_t DuviduCrashWrapper::appMemorySize() const
{
    auto text = duvidu_readTextFile("/proc/self/status");
    if (!text) return 0;
    auto resident = kilobytesField(*text, "RssAnon");
    if (!resident) return 0;
    return *resident + kilobytesField(*text, "VmSwap").value_or(0);
}

}  // namespace duvidu
