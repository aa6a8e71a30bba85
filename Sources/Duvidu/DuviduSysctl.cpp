#include "Duvidu/DuviduSysctl.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"

namespace duvidu {

namespace {

DuviduDate g_runtimeInit;
__attribute__((constructor(101))) void takeRuntimeInitTimestamp()
{
    g_runtimeInit = std::chrono::system_clock::now();
}

const DuviduDate g_moduleInit = std::chrono::system_clock::now();

// The kernel-entry numbers of the boot time, as they appear in its log line.
constexpr int kCtlKern = 1;
constexpr int kKernBoottime = 21;

std::optional<int64_t> readBootTime()
{
    auto text = duvidu_readTextFile("/proc/stat");
    int savedErrno = errno;
    auto seconds = text ? DuviduSysctl::bootTimeFromProcStat(*text) : std::nullopt;
    if (!seconds) {
        DUVIDU_LOG_ERROR("Could not get timeval value for " + std::to_string(kCtlKern) + "," +
                         std::to_string(kKernBoottime) + ": " + std::strerror(text ? EINVAL : savedErrno));
    }
    return seconds;
}

}  // namespace

std::optional<int64_t> DuviduSysctl::bootTimeFromProcStat(std::string_view procStat)
{
    size_t at = 0;
    while (at < procStat.size()) {
        size_t end = procStat.find('\n', at);
        std::string_view line = procStat.substr(at, end == std::string_view::npos ? procStat.npos : end - at);
        if (line.rfind("btime ", 0) == 0) {
            line.remove_prefix(6);
            int64_t seconds = 0;
            auto result = std::from_chars(line.data(), line.data() + line.size(), seconds);
            if (result.ec == std::errc() && seconds > 0) return seconds;
            return std::nullopt;
        }
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return std::nullopt;
}

std::optional<uint64_t> DuviduSysctl::startTicksFromProcPidStat(std::string_view procPidStat)
{
    size_t close = procPidStat.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = procPidStat.substr(close + 1);
    // After the name come field 3 (state) onwards; the start time is field 22.
    int field = 2;
    size_t at = 0;
    while (at < rest.size()) {
        while (at < rest.size() && rest[at] == ' ') ++at;
        size_t end = rest.find_first_of(" \n", at);
        if (end == std::string_view::npos) end = rest.size();
        if (at == end) break;
        if (++field == 22) {
            uint64_t ticks = 0;
            auto result = std::from_chars(rest.data() + at, rest.data() + end, ticks);
            if (result.ec != std::errc() || result.ptr != rest.data() + end) return std::nullopt;
            return ticks;
        }
        at = end;
    }
    return std::nullopt;
}

DuviduDate DuviduSysctl::runtimeInitTimestamp() const
{
    return g_runtimeInit;
}

DuviduDate DuviduSysctl::moduleInitializationTimestamp() const
{
    return g_moduleInit;
}

DuviduDate DuviduSysctl::systemBootTimestamp() const
{
    auto seconds = readBootTime();
    return DuviduDate(std::chrono::seconds(seconds.value_or(0)));
}

DuviduDate DuviduSysctl::processStartTimestamp() const
{
    auto text = duvidu_readTextFile("/proc/self/stat");
    auto ticks = text ? startTicksFromProcPidStat(*text) : std::nullopt;
    long ticksPerSecond = sysconf(_SC_CLK_TCK);
    auto boot = ticks && ticksPerSecond > 0 ? readBootTime() : std::nullopt;
    if (!ticks || ticksPerSecond <= 0 || !boot) {
        DUVIDU_LOG_ERROR(std::string("Could not get current process start time: ") + std::strerror(EINVAL));
        return DuviduDate{};
    }
    auto sinceBoot = std::chrono::microseconds(static_cast<int64_t>(*ticks) * 1000000 / ticksPerSecond);
    return DuviduDate(std::chrono::seconds(*boot)) + sinceBoot;
}

}  // namespace duvidu
