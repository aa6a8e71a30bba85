#include "DuviduCrash/Recording/Monitors/DuviduCrashMonitorSignal.h"

#include <signal.h>

#include <atomic>
#include <cerrno>

#include "DuviduCrash/Recording/DuviduCrashMonitor.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashBacktrace.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashMachineContext.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashSignalInfo.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"

namespace duvidu {

namespace {

constexpr int kMaxSignals = 16;

std::atomic<bool> g_installed{false};
struct sigaction g_previous[kMaxSignals];

void handleSignal(int signal, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    // Not claimed: the abort that ends an uncaught C++ exception already reported, a fault while reporting, or a
    // crash of another thread at the same time.
    if (duviducrashmonitor_claim()) {
        uintptr_t addresses[DuviduCrashMachineContext::kMaxStackDepth];
        DuviduCrashMonitorContext context;
        context.crashType = DuviduCrashType::Signal;
        context.crashedThread = duviducrashthread_self();
        context.signal = signal;
        context.signalCode = info ? info->si_code : 0;
        // Only faults of memory and instructions name an address; for others the field holds the sender.
        if (info && (signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE))
            context.faultAddress = reinterpret_cast<uintptr_t>(info->si_addr);
        context.backtrace = addresses;
        context.backtraceLength =
            duviducrashbt_backtraceInterrupted(addresses, DuviduCrashMachineContext::kMaxStackDepth);
        context.firstAddressIsExact = true;
        duviducrashmonitor_handleCrash(context);
    }
    duviducrashmonitor_signal_uninstall();
    // Blocked while this handler runs, the signal arrives again as soon as it returns, to the previous action.
    raise(signal);
    errno = savedErrno;
}

}  // namespace

void duviducrashmonitor_signal_install()
{
    if (g_installed.load()) return;
    const int* signals = duviducrashsignal_fatalSignals();
    const int count = duviducrashsignal_numFatalSignals();
    struct sigaction action {};
    action.sa_sigaction = handleSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < count && i < kMaxSignals; ++i) sigaction(signals[i], &action, &g_previous[i]);
    g_installed.store(true);
}

void duviducrashmonitor_signal_uninstall()
{
    if (!g_installed.exchange(false)) return;
    const int* signals = duviducrashsignal_fatalSignals();
    const int count = duviducrashsignal_numFatalSignals();
    for (int i = 0; i < count && i < kMaxSignals; ++i) sigaction(signals[i], &g_previous[i], nullptr);
}

bool duviducrashmonitor_signal_isInstalled()
{
    return g_installed.load();
}

}  // namespace duvidu
