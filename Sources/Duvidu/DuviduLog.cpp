#include "Duvidu/DuviduLog.h"

#include <atomic>
#include <mutex>

namespace duvidu {

namespace {

// Written at start-up and read from any thread, so atomic: a plain value would be a data race.
std::atomic<bool> g_debug{true};
std::atomic<uint64_t> g_diagnosticLevel{static_cast<uint64_t>(DuviduLevel::Error)};

// The output and its lock are never destroyed: the SDK's queue threads may still log while the process ends, after
// its static objects are gone.
std::mutex& outputMutex()
{
    static auto* const mutex = new std::mutex();
    return *mutex;
}

std::shared_ptr<DuviduLogOutput>& outputSlot()
{
    static auto* const output = new std::shared_ptr<DuviduLogOutput>();
    return *output;
}

}  // namespace

void DuviduLog::configure(bool debug, DuviduLevel diagnosticLevel)
{
    g_debug.store(debug, std::memory_order_relaxed);
    g_diagnosticLevel.store(static_cast<uint64_t>(diagnosticLevel), std::memory_order_relaxed);
}

void DuviduLog::logWithMessage(const std::string& message, DuviduLevel level)
{
    std::shared_ptr<DuviduLogOutput> output;
    {
        std::lock_guard lock(outputMutex());
        if (!outputSlot()) outputSlot() = std::make_shared<DuviduLogOutput>();
        output = outputSlot();
    }
    if (willLogAtLevel(level)) output->log("[Duvidu] [" + nameForLevel(level) + "] " + message);
}

bool DuviduLog::willLogAtLevel(DuviduLevel level)
{
    auto value = static_cast<uint64_t>(level);
    return g_debug.load(std::memory_order_relaxed) && value != 0 &&
           g_diagnosticLevel.load(std::memory_order_relaxed) <= value;
}

void DuviduLog::setLogOutput(std::shared_ptr<DuviduLogOutput> output)
{
    std::lock_guard lock(outputMutex());
    outputSlot() = std::move(output);
}

std::shared_ptr<DuviduLogOutput> DuviduLog::logOutput()
{
    std::lock_guard lock(outputMutex());
    return outputSlot();
}

bool DuviduLog::isDebug()
{
    return g_debug.load(std::memory_order_relaxed);
}

DuviduLevel DuviduLog::diagnosticLevel()
{
    return static_cast<DuviduLevel>(g_diagnosticLevel.load(std::memory_order_relaxed));
}

std::string DuviduLog::sourceMessage(std::string_view file, int line, std::string_view text)
{
    auto slash = file.find_last_of('/');
    if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
    auto dot = file.find('.');
    if (dot != std::string_view::npos) file = file.substr(0, dot);
    std::string message = "[";
    message.append(file);
    message += ':';
    message += std::to_string(line);
    message += "] ";
    message.append(text);
    return message;
}

}  // namespace duvidu
