#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// The crash layer's probes of the machine and the process; tests put fixed values in their place.
class DuviduCrashWrapper {
public:
    virtual ~DuviduCrashWrapper() = default;
    static std::shared_ptr<DuviduCrashWrapper> sharedInstance();

    // Whether the previous launch of the application ended in a crash, as the crash state file said when crash
    // capture was first installed in this process; false before that.
    virtual bool crashedLastLaunch() const;
    // What the crash state file said of that crash along with crashedLastLaunch (none when the previous launch did
    // not crash): when it crashed, none when the file did not keep a time it could hold; and the id of the session
    // the crashed launch ran, empty when it ran none, none when the file did not keep it (an earlier version wrote
    // it). Not virtual, as nothing added to this class is: subclasses built against an earlier header keep their
    // table of virtual functions.
    std::optional<DuviduDate> lastCrashDate() const;
    std::optional<std::string> lastCrashSessionId() const;
    // Seconds the application was active since the last crash.
    virtual double activeDurationSinceLastCrash() const;
    // Whether a debugger (or another tracer) is attached to this process.
    virtual bool isBeingTraced() const;
    // Bytes of free memory; 0 when it cannot be read.
    virtual uint64_t freeMemorySize() const;
    // Bytes free to the user on the file system holding the home folder; 0 when it cannot be read.
    virtual uint64_t freeStorageSize() const;
    // Bytes of memory this process owns (anonymous resident plus swapped out); 0 when it cannot be read.
    virtual uint64_t appMemorySize() const;

    // The "<key>: <n> kB" value of /proc/meminfo or /proc/self/status text, in bytes.
    static std::optional<uint64_t> kilobytesField(const std::string& procText, const std::string& key);
};

}  // namespace duvidu
