#include "platform/AppLog.h"

#include <syslog.h>

#include <cstdio>
#include <mutex>

namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

AppLog::Sink& currentSink() {
    static AppLog::Sink sink;
    return sink;
}

}  // namespace

void AppLog::error(const std::string& message) { write("errors", message); }

void AppLog::info(const std::string& message) { write("info", message); }

void AppLog::write(const std::string& category, const std::string& message) {
    std::lock_guard lock(sinkMutex());
    if (currentSink()) {
        currentSink()(category, message);
        return;
    }
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("vellumcaster", LOG_PID, LOG_USER); });
    const int priority = category == "errors" ? LOG_ERR : LOG_INFO;
    syslog(priority, "[%s:%s] %s", subsystem, category.c_str(), message.c_str());
    std::fprintf(stderr, "[%s:%s] %s\n", subsystem, category.c_str(), message.c_str());
}

void AppLog::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex());
    currentSink() = std::move(sink);
}
