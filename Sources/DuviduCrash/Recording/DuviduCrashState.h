#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace duvidu {

// The crash state file, CrashState.json: {"crashedLastLaunch": bool, "activeDurationSinceLastCrash": seconds,
// "lastCrashTimestamp": seconds since 1970, "lastCrashSessionId": the id of the session the crashed process ran, empty
// when it ran none; the last two only while "crashedLastLaunch" is true}. The first initialisation in a process reads
// what the previous launch left, then writes this launch's state (the active duration starts again at 0 after a
// crash). A crash that the previous launch left stays recorded ("crashedLastLaunch" true, with its time and session)
// until this process has sent it (notifyCrashHandled): processes that start meanwhile on the same folder know of the
// crash too, and leave its session to the crash handling instead of closing it as abnormal. A write never replaces a
// crash that a sibling recorded after this process read the file. The active duration grows while the application is
// active. The crash handler writes the file once more, with "crashedLastLaunch" true, the time of the crash and the
// session this process ran.
class DuviduCrashState {
public:
    DuviduCrashState() = delete;

    // Reads and rewrites the file at the path on the first call in the process; later calls keep what the first one
    // read and only write the current state to the (possibly new) path.
    static void initialize(const std::string& path);
    // What the file said when the process first initialised; false before that.
    static bool crashedLastLaunch();
    // When the previous launch crashed, in milliseconds since 1970, as the file said when the process first
    // initialised; -1 when it did not crash, or the file did not say (a file written before the time was kept).
    static int64_t lastCrashTimestamp();
    // The id of the session the previous launch ran when it crashed, as the file said when the process first
    // initialised: empty when it ran none; none when it did not crash, or the file did not say (written by a version
    // that did not keep the id).
    static std::optional<std::string> lastCrashSessionId();
    // The session this process runs now (empty for none): the crash handler records its id with a crash, in the state
    // and in the report.
    static void setCurrentSessionId(const std::string& sessionId);
    // Its id as last set; empty for none. Safe in a signal handler.
    static const char* currentSessionId();
    // Seconds the application was active since the last crash, up to now.
    static double activeDurationSinceLastCrash();

    // The application became active (true) or stopped being active (false); the state is written when it stops.
    static void notifyAppActive(bool isActive);
    // The crash of the previous launch has been sent (its reports and its session): the file stops recording it.
    static void notifyCrashHandled();
    // The application is quitting: the active time so far is written.
    static void notifyAppTerminate();
    // In the crash handler: writes the state with "crashedLastLaunch" true and the active time up to the crash.
    // Safe in a signal handler.
    static void notifyAppCrash();
};

}  // namespace duvidu
