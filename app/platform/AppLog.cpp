#include "platform/AppLog.h"

#include "platform/OutputWriter.h"

#include <syslog.h>

#include <cstdlib>
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
    {
        std::lock_guard lock(sinkMutex());
        if (currentSink()) {
            currentSink()(category, message);
            return;
        }
    }
    OutputWriter::writeLogged(category == "errors" ? LOG_ERR : LOG_INFO,
                              std::string("[") + subsystem + ":" + category + "] " + message);
}

void AppLog::errorAndEnd(const std::string& message, int status) {
    error(message);
    OutputWriter::flush(endFlushLimit);
    std::_Exit(status);
}

void AppLog::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex());
    currentSink() = std::move(sink);
}
