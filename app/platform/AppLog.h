#pragma once

#include <functional>
#include <string>

// The application's log: every line goes to syslog(3) and to stderr with the subsystem and category, e.g.
// "[com.brindlefox.vellumcaster:errors] Could not find audio device". Tests install a capturing sink instead.
class AppLog {
public:
    AppLog() = delete;

    static constexpr const char* subsystem = "com.brindlefox.vellumcaster";

    static void error(const std::string& message);  // category "errors"
    static void info(const std::string& message);   // category "info"
    static void write(const std::string& category, const std::string& message);

    using Sink = std::function<void(const std::string& category, const std::string& message)>;
    // Replaces syslog and stderr with `sink` (an empty sink restores them). Safe from any thread.
    static void setSink(Sink sink);
};
