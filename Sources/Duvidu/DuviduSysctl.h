#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "Duvidu/Value.h"

namespace duvidu {

// Process and boot timestamps. A failed kernel read gives the epoch (1970-01-01 00:00:00 UTC) and is logged.
class DuviduSysctl {
public:
    virtual ~DuviduSysctl() = default;

    // Taken by a constructor function that runs before the SDK's static initialisers.
    virtual DuviduDate runtimeInitTimestamp() const;
    // Taken by a static initialiser of the SDK.
    virtual DuviduDate moduleInitializationTimestamp() const;
    // The kernel's boot time, whole seconds: stable across launches within one boot.
    virtual DuviduDate systemBootTimestamp() const;
    // This process's start time.
    virtual DuviduDate processStartTimestamp() const;

    // The "btime" seconds of /proc/stat text.
    static std::optional<int64_t> bootTimeFromProcStat(std::string_view procStat);
    // The start time in clock ticks (field 22) of /proc/<pid>/stat text; the command name may hold spaces and
    // parentheses, so fields are counted after the last ')'.
    static std::optional<uint64_t> startTicksFromProcPidStat(std::string_view procPidStat);
};

}  // namespace duvidu
