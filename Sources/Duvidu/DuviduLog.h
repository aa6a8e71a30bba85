#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Duvidu/DuviduLevel.h"
#include "Duvidu/DuviduLogOutput.h"

namespace duvidu {

// The SDK's diagnostic log. Silent unless debug is on, then prints messages at or above the diagnostic level as
// "[Duvidu] [<level name>] <message>". Before any configuration debug is on and the level is error.
class DuviduLog {
public:
    DuviduLog() = delete;

    static void configure(bool debug, DuviduLevel diagnosticLevel);
    static void logWithMessage(const std::string& message, DuviduLevel level);
    static bool willLogAtLevel(DuviduLevel level);

    // nullptr drops the output; the next message makes a default one again.
    static void setLogOutput(std::shared_ptr<DuviduLogOutput> output);
    static std::shared_ptr<DuviduLogOutput> logOutput();

    static bool isDebug();
    static DuviduLevel diagnosticLevel();

    // "[<file name without directory and extension>:<line>] <text>", the message form of a logging call site.
    static std::string sourceMessage(std::string_view file, int line, std::string_view text);
};

}  // namespace duvidu

// Logging call sites: the message carries the logging file's name and line; it is built even when filtered out.
#define DUVIDU_LOG(level, text) \
    ::duvidu::DuviduLog::logWithMessage(::duvidu::DuviduLog::sourceMessage(__FILE__, __LINE__, (text)), (level))
#define DUVIDU_LOG_DEBUG(text) DUVIDU_LOG(::duvidu::DuviduLevel::Debug, text)
#define DUVIDU_LOG_INFO(text) DUVIDU_LOG(::duvidu::DuviduLevel::Info, text)
#define DUVIDU_LOG_WARNING(text) DUVIDU_LOG(::duvidu::DuviduLevel::Warning, text)
#define DUVIDU_LOG_ERROR(text) DUVIDU_LOG(::duvidu::DuviduLevel::Error, text)
#define DUVIDU_LOG_FATAL(text) DUVIDU_LOG(::duvidu::DuviduLevel::Fatal, text)
// A few messages are logged as their bare text, without the source prefix.
#define DUVIDU_LOG_BARE(level, text) ::duvidu::DuviduLog::logWithMessage((text), (level))
