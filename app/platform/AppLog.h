#pragma once

#include <chrono>
#include <functional>
#include <string>

// The application's log: every line goes to syslog(3) and to stderr with the subsystem and category, e.g.
// "[com.brindlefox.vellumcaster:errors] Could not find audio device", through the OutputWriter, so that writing one
// never waits on a reader. Tests install a capturing sink instead.
class AppLog {
public:
    AppLog() = delete;

    static constexpr const char* subsystem = "com.brindlefox.vellumcaster";

    static void error(const std::string& message);  // category "errors"
    static void info(const std::string& message);   // category "info"
    static void write(const std::string& category, const std::string& message);
    // Logs an error and ends the process at once (std::_Exit, with `status`), after at most `endFlushLimit` for the
    // line to go out: a reader that takes nothing delays the end no longer than that.
    [[noreturn]] static void errorAndEnd(const std::string& message, int status);
    static constexpr std::chrono::milliseconds endFlushLimit{50};

    using Sink = std::function<void(const std::string& category, const std::string& message)>;
    // Replaces syslog and stderr with `sink` (an empty sink restores them). Safe from any thread.
    static void setSink(Sink sink);
};
