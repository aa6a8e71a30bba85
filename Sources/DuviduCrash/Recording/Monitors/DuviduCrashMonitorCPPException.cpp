#include "DuviduCrash/Recording/Monitors/DuviduCrashMonitorCPPException.h"

#include <cxxabi.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "DuviduCrash/Recording/DuviduCrashMonitor.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashBacktrace.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashMachineContext.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"

namespace duvidu {

namespace {

std::atomic<bool> g_installed{false};
std::atomic<std::terminate_handler> g_previous{nullptr};

[[noreturn]] void endProcess()
{
    std::terminate_handler previous = g_previous.load();
    if (previous) previous();
    std::abort();
}

// The message of an exception derived from std::exception; nullptr for any other type.
const char* reasonOf(const std::exception_ptr& exception)
{
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception& caught) {
        return caught.what();
    } catch (...) {
    }
    return nullptr;
}

[[noreturn]] void handleTerminate()
{
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type) endProcess();  // no exception: the abort that follows is reported as one
    if (duviducrashmonitor_claim()) {
        // The stack is taken first, while it still holds the frames of the throw.
        uintptr_t addresses[DuviduCrashMachineContext::kMaxStackDepth];
        const int length = duviducrashbt_backtraceSelf(addresses, DuviduCrashMachineContext::kMaxStackDepth);
        // Not in a signal handler: the heap may be used for the name.
        int status = 0;
        char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        DuviduCrashMonitorContext context;
        context.crashType = DuviduCrashType::CPPException;
        context.crashedThread = duviducrashthread_self();
        context.signal = SIGABRT;
        context.exceptionType = status == 0 && demangled ? demangled : type->name();
        context.exceptionReason = reasonOf(std::current_exception());
        context.backtrace = addresses;
        context.backtraceLength = length;
        duviducrashmonitor_handleCrash(context);
        std::free(demangled);
    }
    endProcess();
}

}  // namespace

void duviducrashmonitor_cppexception_install()
{
    if (g_installed.exchange(true)) return;
    g_previous.store(std::set_terminate(handleTerminate));
}

void duviducrashmonitor_cppexception_uninstall()
{
    if (!g_installed.exchange(false)) return;
    std::set_terminate(g_previous.load());
}

bool duviducrashmonitor_cppexception_isInstalled()
{
    return g_installed.load();
}

}  // namespace duvidu
