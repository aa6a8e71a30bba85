// The program the crash tests run: it starts the SDK (DSN from DUVIDU_DSN) as an application would, puts a tag and a
// breadcrumb into the scope and then faults in the way its argument names (with duvidu-cli's faults and a few more),
// so that the test process itself never crashes and is never forked.
//
//   duviducrash_helper FAULT          start, become active, tag "fault" = FAULT, breadcrumb "about to crash", NaN and
//                                     infinities in the extras, a context, the user's data and the breadcrumb, fault
//   duviducrash_helper restart FAULT  the same after a start and a close
//   duviducrash_helper start          start, print "crashedLastRun YES|NO", flush, close
//   duviducrash_helper close          start and close, print whether the SIGSEGV action that was set before the start
//                                     is back ("restored YES|NO")
//   duviducrash_helper log-at-exit    start and close, then end the process while a block on one of the SDK's queues
//                                     still logs, as the SDK's own threads may after a close
//   duviducrash_helper clock-back SECONDS
//                                     start with the SDK's clock SECONDS ahead of the machine's, become active (the
//                                     session starts by that clock), then the clock steps back and the process faults
//                                     (segv), as on a machine whose clock ran ahead until time sync set it back
//   duviducrash_helper late-sleeps FAULT
//                                     FAULT in a process whose sleeps last up to 20 ms longer than asked, as on a
//                                     loaded machine; prints "faulting at <steady clock nanoseconds>" before it faults
//   duviducrash_helper mark-handled-after FIFO
//                                     install crash capture alone (the crash state is read), then wait for the end of
//                                     the FIFO's input and mark the crash handled, as a run held between the two does
//   duviducrash_helper crash-after FIFO
//                                     start, become active (a session starts), wait for the end of the FIFO's input,
//                                     then fault (segv)
//   duviducrash_helper run-until FIFO start, become active, wait for the end of the FIFO's input, then quit as an
//                                     application does (will-terminate ends the session, close)
//
// FAULT: segv, abort, terminate (uncaught std::runtime_error on the main thread), terminate-thread (the same on a
// std::thread), trap, overflow (unbounded recursion on the main thread), two-threads (two threads fault at once),
// sigterm (the process is asked to stop).

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduBundleInfo.h"
#include "Duvidu/DuviduCrash.h"
#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSDK.h"
#include "Duvidu/DuviduUser.h"
#include "DuviduCrash/Recording/DuviduCrashC.h"
#include "duvidu-cli/CrashFaults.h"

using namespace duvidu;


namespace {

void twoThreadsFault()
{
    std::atomic<int> ready{0};
    auto fault = [&] {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        duviduCliFaultSegv();
    };
    std::thread first(fault), second(fault);
    first.join();
    second.join();
}

int fault(const std::string& how)
{
    if (duviduCliFault(how)) return 1;
    if (how == "terminate-thread") std::thread(duviduCliFaultThrow).join();
    else if (how == "two-threads") twoThreadsFault();
    else if (how == "sigterm") raise(SIGTERM);
    else {
        std::fprintf(stderr, "duviducrash_helper: unknown fault %s\n", how.c_str());
        return 2;
    }
    return 1;
}

void start()
{
    DuviduSDK::startWithConfigureOptions([](DuviduOptions& options) {
        options.debug = false;
        options.setTracesSampleRate(1.0);
        options.enableAppHangTracking = false;
    });
}

int startAndFault(const std::string& how)
{
    start();
    DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper()->postNotificationName(
        DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    DuviduSDK::configureScope([&](DuviduScope& scope) {
        scope.setTagValue(how, "fault");
        // Numbers that JSON cannot hold.
        scope.setExtraValue(NAN, "n");
        scope.setContextValue(Value::Object{{"ratio", HUGE_VAL}}, "measure");
        DuviduUser user("u1");
        user.data = Value::Object{{"score", -HUGE_VAL}};
        scope.setUser(user);
    });
    DuviduBreadcrumb breadcrumb;
    breadcrumb.message = "about to crash";
    breadcrumb.data = Value::Object{{"level", Value::Array{NAN, 0.5}}};
    DuviduSDK::addBreadcrumb(breadcrumb);
    // The session that just started is sent before the crash, so that what the next start sends is only the crash.
    DuviduSDK::flush(5);
    return fault(how);
}

void startActive()
{
    start();
    DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper()->postNotificationName(
        DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    DuviduSDK::flush(5);
}

// The machine's clock, that many seconds ahead.
class ClockAhead : public DuviduDefaultCurrentDateProvider {
public:
    explicit ClockAhead(std::chrono::seconds ahead) : ahead_(ahead) {}
    DuviduDate date() const override { return DuviduDefaultCurrentDateProvider::date() + ahead_; }

private:
    std::chrono::seconds ahead_;
};

int faultAfterTheClockStepsBack(int seconds)
{
    DuviduCurrentDate::setCurrentDateProvider(std::make_shared<ClockAhead>(std::chrono::seconds(seconds)));
    startActive();
    DuviduCurrentDate::setCurrentDateProvider(nullptr);
    duviduCliFaultSegv();
    return 1;
}

int faultWithLateSleeps(const std::string& how)
{
    if (prctl(PR_SET_TIMERSLACK, 20000000UL) != 0) return 2;
    start();
    std::printf("faulting at %lld\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count()));
    std::fflush(stdout);
    return fault(how);
}

// Opens the FIFO (the test's open for writing then succeeds: this run got there) and reads it to its end.
bool waitForTheEndOfInput(const char* fifo)
{
    const int input = open(fifo, O_RDONLY | O_CLOEXEC);
    if (input < 0) return false;
    char buffer[64];
    while (read(input, buffer, sizeof buffer) > 0) {
    }
    close(input);
    return true;
}

int markHandledAfter(const char* fifo)
{
    if (!DuviduCrash::sharedInstance()->install() || !waitForTheEndOfInput(fifo)) return 2;
    duviducrash_notifyCrashHandled();
    return 0;
}

int crashAfter(const char* fifo)
{
    startActive();
    if (!waitForTheEndOfInput(fifo)) return 2;
    duviduCliFaultSegv();
    return 1;
}

int runUntil(const char* fifo)
{
    startActive();
    if (!waitForTheEndOfInput(fifo)) return 2;
    DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper()->postNotificationName(
        DuviduNSNotificationCenterWrapper::willTerminateNotificationName());
    DuviduSDK::close();
    return 0;
}

int startAndReport()
{
    start();
    std::printf("crashedLastRun %s\n", DuviduSDK::crashedLastRun() ? "YES" : "NO");
    std::fflush(stdout);
    DuviduSDK::flush(5);
    DuviduSDK::close();
    return 0;
}

void markSegv(int) {}

int startAndClose()
{
    struct sigaction before {};
    before.sa_handler = markSegv;
    sigaction(SIGSEGV, &before, nullptr);
    start();
    DuviduSDK::close();
    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    std::printf("restored %s\n", after.sa_handler == markSegv ? "YES" : "NO");
    return 0;
}

int endWhileAQueueLogs()
{
    start();
    DuviduSDK::close();
    // Queues never wait for their blocks when they go: this one is still logging while the process ends.
    static std::atomic<bool> logging{false};
    DuviduDispatchQueueWrapper("duvidu-test").dispatchAsyncWithBlock([] {
        for (;;) {
            DUVIDU_LOG_DEBUG("still here");
            logging = true;
        }
    });
    while (!logging) std::this_thread::yield();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // The crash is expected: no core file.
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    DuviduBundleInfo::setCurrent(DuviduBundleInfo{"org.example.duviducrash-helper", "1.0", "7", "duviducrash_helper"});

    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 2 && command == "start") return startAndReport();
    if (argc == 2 && command == "close") return startAndClose();
    if (argc == 2 && command == "log-at-exit") return endWhileAQueueLogs();
    if (argc == 3 && command == "clock-back") return faultAfterTheClockStepsBack(std::atoi(argv[2]));
    if (argc == 3 && command == "late-sleeps") return faultWithLateSleeps(argv[2]);
    if (argc == 3 && command == "mark-handled-after") return markHandledAfter(argv[2]);
    if (argc == 3 && command == "crash-after") return crashAfter(argv[2]);
    if (argc == 3 && command == "run-until") return runUntil(argv[2]);
    if (argc == 3 && command == "restart") {
        start();
        DuviduSDK::close();
        return startAndFault(argv[2]);
    }
    if (argc == 2) return startAndFault(command);
    std::fprintf(stderr,
                 "usage: duviducrash_helper FAULT | restart FAULT | start | close | log-at-exit | clock-back SECONDS | "
                 "late-sleeps FAULT | mark-handled-after FIFO | crash-after FIFO | run-until FIFO\n");
    return 2;
}
