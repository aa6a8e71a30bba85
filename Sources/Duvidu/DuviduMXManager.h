#pragma once

namespace duvidu {

// Receives the system's diagnostic payloads about this process. Linux delivers none, so the manager only keeps
// whether crash diagnostics were to be left out (the crash monitors report crashes themselves).
class DuviduMXManager {
public:
    // ObjC: -[DuviduMXManager initWithDisableCrashDiagnostics:]
    explicit DuviduMXManager(bool disableCrashDiagnostics) : disableCrashDiagnostics_(disableCrashDiagnostics) {}

    bool disableCrashDiagnostics() const { return disableCrashDiagnostics_; }

private:
    bool disableCrashDiagnostics_;
};

}  // namespace duvidu
